// Any bytes as RTF: read, write, read again, page and paint the first page.
// Nothing may crash, hang or leak, and what we write must read back to the
// same text.
#include "richtext/rich_text_document.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: destroying it from an exit handler, after
    // Qt's own statics are gone, would crash.
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    orv::RichTextDocument first;
    first.loadRtf(input);
    const QStringList lines = first.lines();
    (void)first.characterCount();
    (void)first.fields();

    orv::RichTextDocument second;
    second.loadRtf(first.saveRtf());
    if (second.lines() != lines) std::abort();  // our own RTF must keep the text

    first.setZoom(10);
    QImage page(200, 260, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    first.paintPage(painter, 5, 5, 195, 255, 0);
    return 0;
}
