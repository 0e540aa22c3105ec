// Any bytes as RTF: read, write, read again, page and paint the first page.
// Nothing may crash, hang or leak, and what we write must read back to the
// same text.
#include "richtext/rich_text_document.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>

namespace {

void exercise(const QByteArray& input) {
    orv::RichTextDocument first;
    first.loadRtf(input);
    const QStringList lines = first.lines();
    (void)first.characterCount();
    (void)first.fields();

    orv::RichTextDocument second;
    second.loadRtf(first.saveRtf());
    if (second.lines() != lines) std::abort();  // our own RTF must keep the text

    first.setZoom(10);
    // One canvas for every input: at 200 KB it is beyond the sanitizer's
    // small-block pools, so a new one per input was a fresh mapping, its page
    // faults and an unmapping each time.
    static QImage page(200, 260, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    first.paintPage(painter, 5, 5, 195, 255, 0);
}

// Text in the fonts, sizes and styles most inputs use, with every Windows-1252
// character. Run before the first input, it fills Qt's font, glyph and shaping
// caches for them: an input whose run leaves more blocks allocated than freed
// (a cache filling) is run a second time by libFuzzer to look for a leak.
QByteArray warmUpDocument() {
    QByteArray text;
    for (int c = 0x20; c < 0x100; ++c) {
        if (c == '\\' || c == '{' || c == '}') text += '\\';
        if (c < 0x80) text += char(c);
        else text += "\\'" + QByteArray::number(c, 16);
    }
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fswiss MS Sans Serif;}"
                     "}{\\colortbl ;\\red255\\green0\\blue0;}";
    for (int font = 0; font < 2; ++font)
        for (int size : {16, 20, 24})
            for (const char* style : {"", "\\b", "\\i"})
                rtf += "\\pard\\f" + QByteArray::number(font) + "\\fs" + QByteArray::number(size) + style + ' ' + text +
                       "\\plain\\par";
    rtf += "{\\*\\orvmerge1\\orvmarker42\\plain\\f0\\fs20\\cf1}{[NAME]}{\\*\\orvmergeend}\\tab x\\line y\\page z\\par}";
    return rtf;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: destroying it from an exit handler, after
    // Qt's own statics are gone, would crash.
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
    exercise(warmUpDocument());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    exercise(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
