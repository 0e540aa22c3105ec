#pragma once
// What both rich-text fuzz targets set up before their first input: the
// application fonts need, and a run over a document that fills the caches
// most inputs use.
#include <QByteArray>
#include <QGuiApplication>

namespace orv::fuzz {

inline void startGuiApplication(int* argc, char*** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: destroying it from an exit handler, after
    // Qt's own statics are gone, would crash.
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
}

// Text in the fonts, sizes and styles most inputs use, with every Windows-1252
// character, a merge field, a tab, a line and a page break. Run before the
// first input, it fills the reader's word table and Qt's font, glyph and
// shaping caches for them: an input whose run leaves more blocks allocated
// than freed (a cache filling) is run a second time by libFuzzer to look for
// a leak.
inline QByteArray warmUpDocument() {
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

}  // namespace orv::fuzz
