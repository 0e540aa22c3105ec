// The entry points of both rich-text fuzz targets: the application fonts
// need, a run over a document that fills the caches most inputs use, then
// each input through the target's exercise().
#include "rtf_fuzz_target.h"

#include <QByteArray>
#include <QGuiApplication>

#include <cstdint>

namespace {

// Text in the fonts, sizes and styles most inputs use, with every Windows-1252
// character, a merge field, a tab, a line and a page break. Run before the
// first input, it fills the reader's word table and Qt's font, glyph and
// shaping caches for them: an input whose run leaves more blocks allocated
// than freed (a cache filling) is run a second time by libFuzzer to look for
// a leak.
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
    orv::fuzz::prepare();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: destroying it from an exit handler, after
    // Qt's own statics are gone, would crash.
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
    orv::fuzz::exercise(warmUpDocument());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orv::fuzz::exercise(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
