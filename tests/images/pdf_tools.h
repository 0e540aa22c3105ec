#pragma once
// Reading PDF files with poppler-utils (pdfinfo, pdftotext, pdftoppm): an
// independent check of what the printer and "Save as PDF" write.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <vector>
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

// Page `page` rendered in grey, scaled to width x height pixels.
inline QImage pdfPage(const QString& pdf, int page, int width, int height) {
    QTemporaryDir dir;
    const QString base = dir.filePath("page");
    runTool("pdftoppm", {"-gray", "-scale-to-x", QString::number(width), "-scale-to-y", QString::number(height), "-f",
                         QString::number(page), "-l", QString::number(page), "-singlefile", pdf, base});
    return QImage(base + ".pgm");
}

// The images embedded in a PDF, in order, as pdfimages extracts them.
inline QList<QImage> pdfEmbeddedImages(const QString& pdf) {
    QTemporaryDir dir;
    runTool("pdfimages", {"-png", pdf, dir.filePath("img")});
    QList<QImage> out;
    for (int i = 0;; ++i) {
        QImage img(dir.filePath(QStringLiteral("img-%1.png").arg(i, 3, 10, QLatin1Char('0'))));
        if (img.isNull()) break;
        out << img;
    }
    return out;
}

// Mean darkness (0..1) of each 8 x 8 block: what survives resampling.
inline std::vector<double> blockDarkness(const QImage& image) {
    std::vector<double> out;
    for (int by = 0; by + 8 <= image.height(); by += 8)
        for (int bx = 0; bx + 8 <= image.width(); bx += 8) {
            double sum = 0;
            for (int y = by; y < by + 8; ++y)
                for (int x = bx; x < bx + 8; ++x) sum += 1.0 - qGray(image.pixel(x, y)) / 255.0;
            out.push_back(sum / 64);
        }
    return out;
}

}  // namespace orv::test
