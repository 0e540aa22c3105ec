#pragma once
// TOrvFaxConverter turns a document into an APF fax file: a 1-bit or colour
// bitmap (idBmp; colour is dithered), plain text set in the built-in fax font
// (idText), a bilevel TIFF (idTiff), PCX (idPcx) or DCX (idDcx) image, or raster
// lines handed over by the caller (idUser). Images are placed pixel for pixel
// after the left margin (no scaling), optionally doubled in width, halved in
// height or centred. Every page is written as Modified Huffman line records.
//
// Use:
//     TOrvFaxConverter cvt;
//     cvt.setInputDocumentType(idBmp);
//     cvt.setOptions(coYield);
//     cvt.setResolution(frHigh);
//     cvt.setDocumentFile(dir + "_TMP.BMP");   // OutFileName becomes "_TMP.APF"
//     cvt.setOutFileName(dir + "ORV_1.APF");
//     cvt.ConvertDocument();                    // throws EOrvException subclasses
// or, without a file in between, cvt.ConvertImage(pageImage) for a page bitmap.
// convert() / convertImage() return the result code instead of throwing.
// On any error the partly written output file is deleted.
#include <QImage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace orv {

// idPdf (PDF documents, rendered page by page) comes after the original kinds
// so their values stay as they were.
enum TFaxInputDocumentType { idNone, idText, idTiff, idPcx, idDcx, idBmp, idBitmap, idUser, idPdf };

// TFaxCvtOptions as bits of a TFaxCvtOptionsSet.
enum TFaxCvtOptions : unsigned {
    coDoubleWidth = 1u << 0,
    coHalfHeight = 1u << 1,
    coCenterImage = 1u << 2,
    coYield = 1u << 3,
    coYieldOften = 1u << 4,
};
using TFaxCvtOptionsSet = unsigned;

enum TFaxResolution { frNormal, frHigh };
enum TFaxWidth { fwNormal, fwWide };
enum TFaxFont { ffStandard, ffSmall };
// How rendered PDF pages become black and white: phAuto thresholds text and
// line art and dithers picture areas; phThreshold and phDither do one thing
// for the whole page.
enum TPdfHalftone { phAuto, phThreshold, phDither };

class FaxInputReader;
struct ConversionState;

class TOrvCustomFaxConverter : public QObject {
    Q_OBJECT
public:

    // Events. OnStatus: Starting, Ending, PagesConverted, LinesConverted,
    // BytesConverted, BytesToConvert, Abort (set it to stop the conversion).
    using TFaxStatusEvent = std::function<void(TOrvCustomFaxConverter* sender, bool Starting, bool Ending,
                                               int PagesConverted, int LinesConverted, qint64 BytesConverted,
                                               qint64 BytesToConvert, bool& Abort)>;
    using TFaxOutputLineEvent = std::function<void(TOrvCustomFaxConverter* sender, const uint8_t* Data, int Len,
                                                   bool EndOfPage, bool MorePages)>;
    using TFaxOpenFileEvent = std::function<void(TOrvCustomFaxConverter* sender, const QString& FName)>;
    using TFaxCloseFileEvent = std::function<void(TOrvCustomFaxConverter* sender)>;
    // idUser: fill Data (one raster line, 1 = black, up to 4096 bytes, cleared
    // to white before the call) and Len, or set EndOfPage (and MorePages).
    using TFaxReadLineEvent = std::function<void(TOrvCustomFaxConverter* sender, uint8_t* Data, int& Len,
                                                 bool& EndOfPage, bool& MorePages)>;

    TFaxStatusEvent OnStatus;
    TFaxOutputLineEvent OnOutputLine;  // declared; file conversion does not raise it
    TFaxOpenFileEvent OnOpenUserFile;
    TFaxCloseFileEvent OnCloseUserFile;
    TFaxReadLineEvent OnReadUserLine;

    explicit TOrvCustomFaxConverter(QObject* parent = nullptr);
    ~TOrvCustomFaxConverter() override;

    // Converts DocumentFile into OutFileName; raises the exception of a failing code.
    void ConvertDocument();
    // Converts a page bitmap (any QImage; anything not 1-bit is dithered)
    // into OutFileName as one page, exactly as the same image written as a
    // 1-bit BMP and converted with idBmp would be.
    void ConvertImage(const QImage& page);
    // The same, returning 0 or the negative result code.
    int convert();
    int convertImage(const QImage& page);

    TFaxInputDocumentType inputDocumentType() const { return FInputDocumentType; }
    void setInputDocumentType(TFaxInputDocumentType v) { FInputDocumentType = v; }
    TFaxCvtOptionsSet options() const { return FOptions; }
    // coYieldOften without coYield adds coYield.
    void setOptions(TFaxCvtOptionsSet v);
    TFaxResolution resolution() const { return FResolution; }
    void setResolution(TFaxResolution v) { FResolution = v; }
    TFaxWidth width() const { return FWidth; }
    void setWidth(TFaxWidth v) { FWidth = v; }
    unsigned topMargin() const { return FTopMargin; }
    void setTopMargin(unsigned v) { FTopMargin = v; }
    unsigned leftMargin() const { return FLeftMargin; }
    void setLeftMargin(unsigned v) { FLeftMargin = v; }
    int linesPerPage() const { return FLinesPerPage; }
    void setLinesPerPage(int v) { FLinesPerPage = v; }
    unsigned tabStop() const { return FTabStop; }
    void setTabStop(unsigned v) { FTabStop = v; }
    QString fontFile() const { return FFontFile; }
    void setFontFile(const QString& v) { FFontFile = v; }
    TFaxFont fontType() const { return FFontType; }
    void setFontType(TFaxFont v) { FFontType = v; }
    QString documentFile() const { return FDocumentFile; }
    // A new name also sets OutFileName to it with the extension ".APF".
    void setDocumentFile(const QString& v);
    QString outFileName() const { return FOutFileName; }
    void setOutFileName(const QString& v) { FOutFileName = v; }
    QString defUserExtension() const { return FDefUserExtension; }
    void setDefUserExtension(const QString& v) { FDefUserExtension = v; }
    // The StationId written into the file header (empty by default).
    QByteArray stationId() const { return FStationId; }
    void setStationId(const QByteArray& v) { FStationId = v; }
    TPdfHalftone pdfHalftone() const { return FPdfHalftone; }
    void setPdfHalftone(TPdfHalftone v) { FPdfHalftone = v; }
    // During a conversion (in OnStatus): the number of pages of the document
    // when its reader knows it in advance (PDF input), else 0.
    int pagesToConvert() const { return FPagesToConvert; }

    // The file names of the last conversion, after defaults were applied.
    QString lastInputName() const { return FLastInput; }
    QString lastOutputName() const { return FLastOutput; }

protected:
    // The core reaches the events through these, in this slot order.
    virtual void FaxConvertStatus(bool Starting, bool Ending, int PagesConverted, int LinesConverted,
                                  qint64 BytesConverted, qint64 BytesToConvert, bool& Abort);
    virtual void FaxConvertOutputLine(const uint8_t* Data, int Len, bool EndOfPage, bool MorePages);
    virtual void FaxConvertOpenFile(const QString& FName);
    virtual void FaxConvertCloseFile();

private:
    int run(std::unique_ptr<FaxInputReader> reader, const QString& inputName, const QString& outputName);
    int convertPages(FaxInputReader& reader, ConversionState& st, class ApfWriter& writer);
    std::unique_ptr<FaxInputReader> makeReader();

    TFaxInputDocumentType FInputDocumentType = idNone;
    TFaxCvtOptionsSet FOptions = coDoubleWidth | coCenterImage | coYield;
    TFaxResolution FResolution = frNormal;
    TFaxWidth FWidth = fwNormal;
    unsigned FTopMargin = 0;
    unsigned FLeftMargin = 50;
    int FLinesPerPage = 60;
    unsigned FTabStop = 4;
    QString FFontFile = QStringLiteral("ORVFAX.FNT");
    TFaxFont FFontType = ffStandard;
    QString FDocumentFile;
    QString FOutFileName;
    QString FDefUserExtension;
    QByteArray FStationId;
    TPdfHalftone FPdfHalftone = phAuto;
    int FPagesToConvert = 0;
    QString FLastInput, FLastOutput;
    std::unique_ptr<FaxInputReader> FReader;
};

// The converter as the main window places it (OrvFaxConverter1), with the
// published defaults: options [coDoubleWidth, coCenterImage, coYield], normal
// resolution and width, left margin 50, 60 lines per page, tab stop 4.
class TOrvFaxConverter : public TOrvCustomFaxConverter {
    Q_OBJECT
public:
    explicit TOrvFaxConverter(QObject* parent = nullptr) : TOrvCustomFaxConverter(parent) {}
};

// Encodes one page image into a one-page APF file in a single call (what fax
// file creation does for every rendered page): fine or standard resolution,
// 1728-pixel lines, left margin 50, no other options. 0 or a result code.
int ConvertPageImage(const QImage& page, const QString& apfFile, bool fine, const QByteArray& stationId = {});

}  // namespace orv
