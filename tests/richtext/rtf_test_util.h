#pragma once
// Helpers of the rich-text tests: plain text of a document, formats at a
// position, and the independent RTF peers (pandoc, LibreOffice).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextCharFormat>

#include <ostream>

class QTextDocument;

// Readable QString and QByteArray values in GoogleTest failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }

namespace orv::test {

// Paragraph texts of doc (object characters shown as '#').
QStringList paragraphs(const QTextDocument* doc);
// Format of the character at pos (the one after the position).
QTextCharFormat formatAt(const QTextDocument* doc, int pos);
// Position of the first occurrence of text, -1 when absent.
int find(const QTextDocument* doc, const QString& text);

bool havePandoc();
// Runs pandoc with args on input; empty on failure.
QByteArray runPandoc(const QStringList& args, const QByteArray& input);

bool haveLibreOffice();
// Converts each file to the given format (e.g. "txt:Text", "rtf") into outDir
// with one headless LibreOffice run; false when it failed.
bool libreOfficeConvert(const QStringList& files, const QString& format, const QString& outDir);

}  // namespace orv::test
