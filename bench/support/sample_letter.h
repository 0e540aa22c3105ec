#pragma once
// The sample document of the rich-text and fax-production benchmarks.
#include <QByteArray>

namespace orv::bench {

inline constexpr int kPages = 20;

// Twenty pages: eight paragraphs of body text per page in Arial 11 with some
// bold, italic and a centred heading, a page break after each page.
inline QByteArray letter() {
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}}"
        "{\\colortbl;\\red0\\green0\\blue0;}"
        "\\paperw12240\\paperh15840\\margl720\\margr720\\margt720\\margb720\r\n";
    const QByteArray sentence =
        "The quick brown fox jumps over the lazy dog while the fax modem negotiates its speed, "
        "and the caf\\'e9 on the corner prints the \\b receipts\\b0  in \\i italic\\i0  type. ";
    for (int page = 0; page < kPages; ++page) {
        if (page > 0) rtf += "\\page ";
        rtf += "\\pard\\qc\\sa240\\f1\\fs32\\b Section " + QByteArray::number(page + 1) + "\\b0\\par\r\n";
        for (int p = 0; p < 8; ++p) {
            rtf += "\\pard\\qj\\fi360\\sa120\\f0\\fs22 ";
            for (int s = 0; s < 3; ++s) rtf += sentence;
            rtf += "\\par\r\n";
        }
    }
    rtf += "}";
    return rtf;
}

}  // namespace orv::bench
