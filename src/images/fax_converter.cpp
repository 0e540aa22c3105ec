#include "images/fax_converter.h"

#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/fax_font.h"
#include "images/fax_readers.h"
#include "images/message_yield.h"
#include "images/mh_encoder.h"
#include "images/mono_bitmap.h"

#include <QFileInfo>
#include <vector>

namespace orv {
namespace {

// name with `ext` added when it has no extension; on a case-sensitive file
// system the lower-case form is taken when only that one exists.
QString withDefaultExtension(const QString& name, const QString& ext) {
    if (name.isEmpty() || ext.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
    const QString upper = name + QLatin1Char('.') + ext.toUpper();
    const QString lower = name + QLatin1Char('.') + ext.toLower();
    if (!QFileInfo::exists(upper) && QFileInfo::exists(lower)) return lower;
    return upper;
}

QString withExtension(const QString& name, const QString& ext) {
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > slash + 1 ? name.left(dot) : name) + ext;
}

}  // namespace

TOrvCustomFaxConverter::TOrvCustomFaxConverter(QObject* parent) : QObject(parent) {}
TOrvCustomFaxConverter::~TOrvCustomFaxConverter() = default;

void TOrvCustomFaxConverter::setOptions(TFaxCvtOptionsSet v) {
    if ((v & coYieldOften) && !(v & coYield)) v |= coYield;
    FOptions = v;
}

void TOrvCustomFaxConverter::setDocumentFile(const QString& v) {
    if (v == FDocumentFile) return;
    FDocumentFile = v;
    FOutFileName = withExtension(v, QStringLiteral(".APF"));
}

void TOrvCustomFaxConverter::FaxConvertStatus(bool Starting, bool Ending, int PagesConverted, int LinesConverted,
                                              qint64 BytesConverted, qint64 BytesToConvert, bool& Abort) {
    if (OnStatus) OnStatus(this, Starting, Ending, PagesConverted, LinesConverted, BytesConverted, BytesToConvert, Abort);
}

void TOrvCustomFaxConverter::FaxConvertOutputLine(const uint8_t* Data, int Len, bool EndOfPage, bool MorePages) {
    if (OnOutputLine) OnOutputLine(this, Data, Len, EndOfPage, MorePages);
}

void TOrvCustomFaxConverter::FaxConvertOpenFile(const QString& FName) {
    if (OnOpenUserFile) OnOpenUserFile(this, FName);
}

void TOrvCustomFaxConverter::FaxConvertCloseFile() {
    if (OnCloseUserFile) OnCloseUserFile(this);
}

std::unique_ptr<FaxInputReader> TOrvCustomFaxConverter::makeReader() {
    switch (FInputDocumentType) {
    case idText: return MakeTextReader(LoadFaxFont());
    case idTiff: return MakeTiffReader();
    case idPcx: return MakePcxReader();
    case idDcx: return MakeDcxReader();
    case idBmp: return MakeBmpReader();
    case idPdf: return MakePdfReader(FPdfHalftone);
    case idUser: {
        UserReaderCalls calls;
        calls.open = [this](const QString& name) { FaxConvertOpenFile(name); };
        calls.close = [this] { FaxConvertCloseFile(); };
        calls.readLine = [this](uint8_t* data, int& len, bool& eop, bool& more) {
            if (OnReadUserLine) OnReadUserLine(this, data, len, eop, more);
        };
        calls.extension = FDefUserExtension;
        return MakeUserReader(std::move(calls));
    }
    case idNone:
    case idBitmap:
        break;
    }
    return nullptr;
}

void TOrvCustomFaxConverter::ConvertDocument() { CheckOrvError(convert()); }

void TOrvCustomFaxConverter::ConvertImage(const QImage& page) { CheckOrvError(convertImage(page)); }

int TOrvCustomFaxConverter::convert() {
    FReader = makeReader();
    if (!FReader) return ecBadArgument;
    const QString input = withDefaultExtension(FDocumentFile, FReader->defaultExtension());
    QString output = FOutFileName;
    if (output.isEmpty()) output = withExtension(input, QStringLiteral(".APF"));
    else if (QFileInfo(output).suffix().isEmpty()) output += QStringLiteral(".APF");
    return run(std::move(FReader), input, output);
}

int TOrvCustomFaxConverter::convertImage(const QImage& page) {
    if (page.isNull()) return ecBadArgument;
    QByteArray bmp = MonoBmpBytes(page);
    if (bmp.isEmpty()) return ecOutOfMemory;
    QString output = FOutFileName;
    if (!output.isEmpty() && QFileInfo(output).suffix().isEmpty()) output += QStringLiteral(".APF");
    if (output.isEmpty()) return ecFileNotFound;
    return run(MakeBmpReader(std::move(bmp)), QString(), output);
}

int TOrvCustomFaxConverter::run(std::unique_ptr<FaxInputReader> reader, const QString& inputName,
                                const QString& outputName) {
    FLastInput = inputName;
    FLastOutput = outputName;
    FPagesToConvert = 0;
    ConversionState st;
    st.width = FWidth == fwWide ? 2048 : 1728;
    st.fine = FResolution == frHigh;
    st.options = FOptions;
    st.leftMargin = int(std::min<unsigned>(FLeftMargin, unsigned(st.width)));
    st.topMargin = int(std::min<unsigned>(FTopMargin, 100000u));
    st.tabStop = int(std::min<unsigned>(FTabStop, 144u));
    st.linesPerPage = FLinesPerPage;
    st.smallFont = FFontType == ffSmall;

    ApfWriter writer;
    if (const int rc = writer.create(outputName, FStationId); rc < 0) return rc;

    bool abort = false;
    FaxConvertStatus(true, false, 0, 0, 0, 0, abort);
    if (abort) {
        writer.discard();
        return ecConvertAbort;
    }
    int rc = reader->open(inputName, st);
    if (rc < 0) {
        reader->close();
        writer.discard();
        return rc;
    }
    rc = convertPages(*reader, st, writer);
    bool ignored = false;
    FaxConvertStatus(false, true, st.page, st.lineCounter, st.bytesConverted, st.bytesToConvert, ignored);
    const int closeRc = reader->close();
    if (rc == ecOK) rc = closeRc;
    if (rc == ecOK) {
        writer.setStationId(FStationId);
        rc = writer.finish();
    }
    if (rc < 0) writer.discard();
    FReader = std::move(reader);
    return rc;
}

int TOrvCustomFaxConverter::convertPages(FaxInputReader& reader, ConversionState& st, ApfWriter& writer) {
    MhEncoder encoder;
    std::vector<uint8_t> raster(4096 + 8, 0);
    uint8_t out[MhEncoder::kBufferSize];
    const uint16_t flags = uint16_t(pfLengthWords | (st.fine ? pfHighRes : 0) | (st.width == 2048 ? pfWide : 0));
    for (;;) {
        ++st.page;
        st.lineCounter = 0;
        for (int i = 0; i < st.topMargin; ++i) {
            if (const int rc = writer.beginPage(flags); rc < 0) return rc;
            const int n = encoder.encodeBlankLine(st.width, out);
            if (const int rc = writer.writeLineRecord(out, n); rc < 0) return rc;
        }
        bool endOfPage = false, morePages = false;
        for (;;) {
            std::fill(raster.begin(), raster.end(), 0);
            ++st.lineCounter;
            int len = 0;
            if (const int rc = reader.readLine(st, raster.data(), len, endOfPage, morePages); rc < 0) return rc;
            bool abort = false;
            FPagesToConvert = st.pageTotal;
            FaxConvertStatus(false, false, st.page, st.lineCounter, st.bytesConverted, st.bytesToConvert, abort);
            if (abort) return ecConvertAbort;
            if (endOfPage) break;
            if (!(st.halfHeight && st.lineCounter % 2 == 0)) {
                const int n = encoder.encodeLine(raster.data(), st.width, st.leftMargin, st.doubleWidth, out);
                if (const int rc = writer.beginPage(flags); rc < 0) return rc;
                if (const int rc = writer.writeLineRecord(out, n); rc < 0) return rc;
            }
            if ((st.options & coYield) && (st.options & coYieldOften) && st.lineCounter % 16 == 0) {
                if (const int rc = ProcessPendingMessage(); rc < 0) return rc;
            }
        }
        // A page that ended before its first line still gets its header.
        if (const int rc = writer.beginPage(flags); rc < 0) return rc;
        const int n = MhEncoder::encodeEndOfPage(out);
        if (const int rc = writer.writeLineRecord(out, n); rc < 0) return rc;
        if (const int rc = writer.endPage(); rc < 0) return rc;
        if (st.options & coYield) {
            if (const int rc = ProcessPendingMessage(); rc < 0) return rc;
        }
        if (!morePages) return ecOK;
    }
}

int ConvertPageImage(const QImage& page, const QString& apfFile, bool fine, const QByteArray& stationId) {
    TOrvCustomFaxConverter cvt;
    cvt.setOptions(0);
    cvt.setResolution(fine ? frHigh : frNormal);
    cvt.setOutFileName(apfFile);
    cvt.setStationId(stationId);
    return cvt.convertImage(page);
}

}  // namespace orv
