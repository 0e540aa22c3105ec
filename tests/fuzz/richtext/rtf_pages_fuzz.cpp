// Any bytes as RTF, laid out and painted: read into the editor's document and
// paint its first page. Nothing may crash, hang or leak.
#include "richtext/rich_text_document.h"
#include "rtf_fuzz_target.h"

#include <QImage>
#include <QPainter>

void orv::fuzz::prepare() {
    // Laid out with a fixed set of fonts (fonts.conf: the Liberation fonts,
    // standing in for Arial, Times New Roman and Courier New), so an input
    // lays out the same on every machine. With all of a machine's fonts (140
    // here) more than a quarter of each input went to fontconfig matching
    // names against them and to FreeType opening faces Qt had let go again:
    // font lookup across what happens to be installed is Qt's, not ours.
    if (!qEnvironmentVariableIsSet("FONTCONFIG_FILE")) qputenv("FONTCONFIG_FILE", ORVANE_FUZZ_FONTS_CONF);
}

void orv::fuzz::exercise(const QByteArray& input) {
    RichTextDocument text;
    text.loadRtf(input);
    (void)text.characterCount();
    text.setZoom(10);
    // One canvas for every input: at 200 KB it is beyond the sanitizer's
    // small-block pools, so a new one per input was a fresh mapping, its page
    // faults and an unmapping each time.
    static QImage page(200, 260, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    text.paintPage(painter, 5, 5, 195, 255, 0);
}
