#pragma once
// The headless parts of fax printing: header and footer templates, and the
// print log "FAXPRINT.LOG".
#include <QDateTime>
#include <QObject>
#include <QString>

namespace orv {

// Log codes of the fax printer, in order.
enum TFaxPLCode { lcStart, lcFinish, lcAbort, lcFailed };

// Expands a header or footer template. Each token runs from a "$" up to the
// next blank (or the end) and becomes, by the letter after the "$" in either
// case: D the date (the system's short date format), F the file name, N the
// page count, P the page number, T the time (long time format); any other
// token is removed. Replaced text is not scanned again, so a "$" in a file
// name stays as it is.
QString ExpandFaxPrintTemplate(const QString& text, const QString& fileName, int page, int pageCount,
                               const QDateTime& now = QDateTime::currentDateTime());

// The line a log code writes: "Printing <file> started at <date time>", and
// finished / aborted / failed, the last three followed by an empty line;
// lines end with CR LF.
QByteArray FaxPrintLogText(TFaxPLCode code, const QString& fileName, const QDateTime& now);

class TOrvCustomFaxPrinterLog : public QObject {
    Q_OBJECT
public:
    explicit TOrvCustomFaxPrinterLog(QObject* parent = nullptr) : QObject(parent) {}
    QString logFileName() const { return FLogFileName; }
    void setLogFileName(const QString& v) { FLogFileName = v; }
    // Opens the log for appending (creating it), writes the code's line, closes
    // it again; 0 or a file error code.
    int UpdateLog(TFaxPLCode code, const QString& faxFileName,
                  const QDateTime& now = QDateTime::currentDateTime());

private:
    QString FLogFileName = QStringLiteral("FAXPRINT.LOG");
};

class TOrvFaxPrinterLog : public TOrvCustomFaxPrinterLog {
    Q_OBJECT
public:
    explicit TOrvFaxPrinterLog(QObject* parent = nullptr) : TOrvCustomFaxPrinterLog(parent) {}
};

}  // namespace orv
