#include "images/fax_unpacker.h"

#include "common/orv_error.h"
#include "images/apf_file.h"

namespace orv {

TOrvCustomFaxUnpacker::TOrvCustomFaxUnpacker(QObject* parent) : QObject(parent) {}

void TOrvCustomFaxUnpacker::setOptions(TUnpackerOptionsSet v) {
    FOptions = v;
    if (v & uoAbort) FEngine.requestAbort();
}

void TOrvCustomFaxUnpacker::setInFileName(const QString& v) {
    if (v.compare(FInFileName, Qt::CaseInsensitive) != 0) {
        const qsizetype slash = v.lastIndexOf(QLatin1Char('/'));
        const qsizetype dot = v.lastIndexOf(QLatin1Char('.'));
        FOutFileName = dot > slash + 1 ? v.left(dot) : v;
    }
    FInFileName = v;
}

int TOrvCustomFaxUnpacker::prepareEngine() {
    FEngine.reset();
    FOptions &= ~uoAbort;
    FEngine.setFlag(FaxUnpackEngine::ufYield, FOptions & uoYield);
    FEngine.setAutoScale(FAutoScaleMode);
    if (FWhitespaceCompression) {
        if (const int rc = FEngine.setWhitespace(FWhitespaceFrom, FWhitespaceTo); rc < 0) return rc;
    }
    if (FScaling) FEngine.setScaling(FHorizMult, FHorizDiv, FVertMult, FVertDiv);
    FEngine.setStatusSink([this](const QString& name, int page, qint64 done, qint64 total) {
        if (OnStatus) OnStatus(this, name, page, done, total);
        // uoAbort set from the handler ends the page.
        if (FOptions & uoAbort) FEngine.requestAbort();
    });
    return ecOK;
}

int TOrvCustomFaxUnpacker::GetPageCount() {
    ApfReader reader;
    if (reader.open(FInFileName) < 0) return 0;
    return reader.pageCount();
}

int TOrvCustomFaxUnpacker::firstPageFlags(uint16_t& flags) {
    CheckOrvError(prepareEngine());
    ApfReader reader;
    CheckOrvError(reader.open(FInFileName));
    ApfPageHeader ph;
    CheckOrvError(reader.seekPage(1, ph));
    flags = ph.pageFlags;
    return ecOK;
}

bool TOrvCustomFaxUnpacker::GetFirstPageHighRes() {
    uint16_t flags = 0;
    firstPageFlags(flags);
    return flags & pfHighRes;
}

bool TOrvCustomFaxUnpacker::GetFirstPageWide() {
    uint16_t flags = 0;
    firstPageFlags(flags);
    return flags & pfWide;
}

QImage TOrvCustomFaxUnpacker::DecodePageToBitmap(int page) {
    CheckOrvError(prepareEngine());
    QImage image;
    CheckOrvError(FEngine.decodePage(FInFileName, page, true, image));
    return image;
}

}  // namespace orv
