#include "images/fax_print_text.h"

#include <QFile>
#include <algorithm>
#include <QLocale>

#include "common/orv_error.h"
#include "images/apf_file.h"

namespace orv {

namespace {
QString dateText(const QDateTime& now) { return QLocale::system().toString(now.date(), QLocale::ShortFormat); }
QString timeText(const QDateTime& now) { return QLocale::system().toString(now.time(), QLocale::LongFormat); }
}  // namespace

QString ExpandFaxPrintTemplate(const QString& text, const QString& fileName, int page, int pageCount,
                               const QDateTime& now) {
    QString out;
    out.reserve(text.size() + fileName.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype dollar = text.indexOf(QLatin1Char('$'), i);
        if (dollar < 0) {
            out += QStringView(text).mid(i);
            break;
        }
        out += QStringView(text).mid(i, dollar - i);
        qsizetype end = text.indexOf(QLatin1Char(' '), dollar);
        if (end < 0) end = text.size();
        const QChar letter = dollar + 1 < end ? text.at(dollar + 1).toUpper() : QChar();
        if (letter == QLatin1Char('D')) out += dateText(now);
        else if (letter == QLatin1Char('F')) out += fileName;
        else if (letter == QLatin1Char('N')) out += QString::number(pageCount);
        else if (letter == QLatin1Char('P')) out += QString::number(page);
        else if (letter == QLatin1Char('T')) out += timeText(now);
        i = end;
    }
    return out;
}

QByteArray FaxPrintLogText(TFaxPLCode code, const QString& fileName, const QDateTime& now) {
    static const char* const verbs[] = {" started at ", " finished at ", " aborted at ", " failed at "};
    const int c = std::clamp(int(code), 0, 3);
    QString line = QStringLiteral("Printing ") + fileName + QLatin1String(verbs[c]) + dateText(now) +
                   QLatin1Char(' ') + timeText(now) + QStringLiteral("\r\n");
    if (code != lcStart) line += QStringLiteral("\r\n");
    return line.toLocal8Bit();
}

int TOrvCustomFaxPrinterLog::UpdateLog(TFaxPLCode code, const QString& faxFileName, const QDateTime& now) {
    QFile f(FLogFileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return FileErrorCode(f, ecAccessDenied);
    const QByteArray bytes = FaxPrintLogText(code, faxFileName, now);
    if (f.write(bytes) != bytes.size()) return FileErrorCode(f, ecDiskWrite);
    f.close();
    return ecOK;
}

}  // namespace orv
