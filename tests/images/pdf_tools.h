#pragma once
// Reading PDF files with poppler-utils (pdfinfo, pdftotext, pdftoppm): an
// independent check of what the printer and "Save as PDF" write.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orv::test {

inline bool havePopplerUtils() {
    return !QStandardPaths::findExecutable("pdfinfo").isEmpty() &&
           !QStandardPaths::findExecutable("pdftotext").isEmpty() &&
           !QStandardPaths::findExecutable("pdftoppm").isEmpty();
}

inline QString runTool(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// A line of pdfinfo's output, e.g. pdfInfo(file, "Pages") -> "3".
inline QString pdfInfo(const QString& pdf, const QString& key, int page = 0) {
    QStringList args;
    if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
    args << pdf;
    for (const QString& line : runTool("pdfinfo", args).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) continue;
        QString k = line.left(colon).trimmed();
        if (page > 0 && k.startsWith("Page") && k.contains("size")) k = "Page size";
        if (k == key) return line.mid(colon + 1).trimmed();
    }
    return {};
}

inline QString pdfText(const QString& pdf, int page = 0) {
    QStringList args{"-layout"};
    if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
    return runTool("pdftotext", args << pdf << "-");
}

// Page `page` rendered in grey at rx x ry dots per inch.
inline QImage pdfPage(const QString& pdf, int page, double rx, double ry) {
    QTemporaryDir dir;
    const QString base = dir.filePath("page");
    runTool("pdftoppm", {"-gray", "-rx", QString::number(rx, 'f', 4), "-ry", QString::number(ry, 'f', 4), "-f",
                         QString::number(page), "-l", QString::number(page), "-singlefile", pdf, base});
    return QImage(base + ".pgm");
}

}  // namespace orv::test
