#pragma once
// Text the send machine sets on the page itself: the header line above every
// page and the lines of a plain-text cover. Tags are expanded, the text is
// drawn in the built-in fax font and every raster row is coded as one T.4
// line, ready for the modem (DLE doubled, padded to the minimum scan-line
// length).
#include <QByteArray>
#include <QString>

namespace orv {

struct HeaderTagValues {
    QString date;        // $D: today, short date format
    QString time;        // $T: now, long time format
    QString sender;      // $F
    QString recipient;   // $R
    QString title;       // $S
    QString stationId;   // $I
    int totalPages = 0;  // $N
    int pageNumber = 0;  // $P
};

// Replaces every tag: a "$" up to the next blank (or the end) is one tag, and
// the letter after the "$" (any case) selects its value; other letters, and a
// lone "$", are removed. "$P/$N" is one tag: the page number alone.
QString ExpandHeaderTags(const QString& text, const HeaderTagValues& values);

// Today's date and the current time as the tags show them.
void FillDateAndTime(HeaderTagValues& values);

// Pixels of white before the text on a line.
inline constexpr int kTextLeftMargin = 50;

// The coded rows of one line of text: 8 rows in the small font (16 rows at
// fine resolution), 16 in the standard font (32 at fine). Each row is an
// encoded T.4 line with every DLE byte doubled, then zero bytes up to
// minScanBytes. Text is Windows-1252; what does not fit on the line is cut.
// bytesCounted (optional) grows by each row's length, or minScanBytes when
// that is larger.
QByteArray EncodeTextRows(const QByteArray& text, bool smallFont, bool fine, int lineWidth, int minScanBytes,
                          qint64* bytesCounted = nullptr);

// The end of a page (return to control), DLE doubled and padded.
QByteArray EncodeEndOfPage(int minScanBytes, qint64* bytesCounted = nullptr);

// Appends data with every DLE (0x10) doubled.
void AppendDleDoubled(QByteArray& out, const char* data, qsizetype size);

}  // namespace orv
