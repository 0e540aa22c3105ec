#include "e2e/fax_pages.h"

#include "images/fax_converter.h"
#include "images/unpack_engine.h"

#include <QFile>

namespace orv::test {

QString makeTextApf(const QString& path, int pages, int lines, bool fine) {
    const QString txt = path + ".txt";
    QFile f(txt);
    if (!f.open(QIODevice::WriteOnly)) return {};
    for (int p = 1; p <= pages; ++p)
        for (int l = 1; l <= lines; ++l)
            f.write(QStringLiteral("Page %1 line %2: the quick brown fox jumps over the lazy dog %3\n")
                        .arg(p).arg(l).arg(l * 7919 % 1000).toLatin1());
    f.close();
    TOrvFaxConverter cvt;
    cvt.setInputDocumentType(idText);
    cvt.setOptions(0);
    cvt.setLinesPerPage(lines);
    cvt.setResolution(fine ? frHigh : frNormal);
    cvt.setDocumentFile(txt);
    cvt.setOutFileName(path);
    return cvt.convert() == 0 ? path : QString();
}

BilevelPage decodeApfPage(const QString& path, int page) {
    BilevelPage out;
    FaxUnpackEngine e;
    e.setAspectCorrection(false);
    e.setCropToContent(false);
    out.width = 1728;
    e.decodePageLines(path, page, false, [&](const uint8_t* data, int len) {
        std::vector<uint8_t> row(216, 0);
        std::copy(data, data + std::min(len, 216), row.begin());
        out.rows.push_back(std::move(row));
    });
    out.height = int(out.rows.size());
    return out;
}

BilevelPage dropTopRows(const BilevelPage& received, int rows) {
    BilevelPage out = received;
    const int n = std::min(rows, received.height);
    out.rows.erase(out.rows.begin(), out.rows.begin() + n);
    out.height = int(out.rows.size());
    return out;
}

}  // namespace orv::test
