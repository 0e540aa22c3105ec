#pragma once
// TOrvFaxUnpacker decodes pages of an APF fax file into 1-bit QImages for the
// printer and anything else that wants a page picture: set InFileName, ask
// GetPageCount, then DecodePageToBitmap(page) for each page. Standard-
// resolution pages are aspect-corrected (AutoScaleMode), long runs of blank
// lines can be squeezed (WhitespaceCompression) and the picture scaled
// (Scaling with HorizMult/HorizDiv, VertMult/VertDiv). Errors raise the
// exception of their code (common/orv_error.h). The viewer drives the
// FaxUnpackEngine underneath directly.
#include "images/unpack_engine.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <functional>

namespace orv {

// TUnpackerOptions as bits of a TUnpackerOptionsSet.
enum TUnpackerOptions : unsigned { uoYield = 1u << 0, uoAbort = 1u << 1 };
using TUnpackerOptionsSet = unsigned;

class TOrvCustomFaxUnpacker : public QObject {
    Q_OBJECT
public:
    using TUnpackOutputLineEvent = std::function<void(TOrvCustomFaxUnpacker* sender, bool Starting, bool Ending,
                                                      const uint8_t* Data, int Len, int PageNum)>;
    using TUnpackStatusEvent = std::function<void(TOrvCustomFaxUnpacker* sender, const QString& FName, int PageNum,
                                                  qint64 BytesUnpacked, qint64 BytesToUnpack)>;
    TUnpackOutputLineEvent OnOutputLine;  // declared; the bitmap operation does not raise it
    TUnpackStatusEvent OnStatus;          // after every input byte while a page is decoded

    explicit TOrvCustomFaxUnpacker(QObject* parent = nullptr);

    // The file header's PageCount; 0 when the file cannot be read.
    int GetPageCount();
    bool GetFirstPageHighRes();
    bool GetFirstPageWide();
    // The page as a 1-bit image (bits 1 = white, colour table black/white); a
    // null image for a page without a decodable line.
    QImage DecodePageToBitmap(int page);

    TUnpackerOptionsSet options() const { return FOptions; }
    // Setting uoAbort while a page is being decoded (from OnStatus) ends it early.
    void setOptions(TUnpackerOptionsSet v);
    bool whitespaceCompression() const { return FWhitespaceCompression; }
    void setWhitespaceCompression(bool v) { FWhitespaceCompression = v; }
    int whitespaceFrom() const { return FWhitespaceFrom; }
    void setWhitespaceFrom(int v) { FWhitespaceFrom = v; }
    int whitespaceTo() const { return FWhitespaceTo; }
    void setWhitespaceTo(int v) { FWhitespaceTo = v; }
    bool scaling() const { return FScaling; }
    void setScaling(bool v) { FScaling = v; }
    int horizMult() const { return FHorizMult; }
    void setHorizMult(int v) { if (v != 0) FHorizMult = v; }
    int horizDiv() const { return FHorizDiv; }
    void setHorizDiv(int v) { if (v != 0) FHorizDiv = v; }
    int vertMult() const { return FVertMult; }
    void setVertMult(int v) { if (v != 0) FVertMult = v; }
    int vertDiv() const { return FVertDiv; }
    void setVertDiv(int v) { if (v != 0) FVertDiv = v; }
    TAutoScaleMode autoScaleMode() const { return FAutoScaleMode; }
    void setAutoScaleMode(TAutoScaleMode v) { FAutoScaleMode = v; }
    QString inFileName() const { return FInFileName; }
    // Also sets OutFileName to the name without its extension when it changes.
    void setInFileName(const QString& v);
    QString outFileName() const { return FOutFileName; }
    void setOutFileName(const QString& v) { FOutFileName = v; }

    FaxUnpackEngine& engine() { return FEngine; }

private:
    // Rebuilds the engine from the properties; 0 or -1002.
    int prepareEngine();
    int firstPageFlags(uint16_t& flags);

    FaxUnpackEngine FEngine;
    TUnpackerOptionsSet FOptions = uoYield;
    bool FWhitespaceCompression = false;
    int FWhitespaceFrom = 0, FWhitespaceTo = 0;
    bool FScaling = false;
    int FHorizMult = 1, FHorizDiv = 1, FVertMult = 1, FVertDiv = 1;
    TAutoScaleMode FAutoScaleMode = asDoubleHeight;
    QString FInFileName, FOutFileName;
};

class TOrvFaxUnpacker : public TOrvCustomFaxUnpacker {
    Q_OBJECT
public:
    explicit TOrvFaxUnpacker(QObject* parent = nullptr) : TOrvCustomFaxUnpacker(parent) {}
};

}  // namespace orv
