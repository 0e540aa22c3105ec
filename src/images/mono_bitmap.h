#pragma once
// 1-bit page bitmaps as the converter's bitmap reader takes them: ordered
// dithering of colour and grey images, and real 1-bit Windows BMP files (the
// temporary "_TMP.BMP" of fax file creation), palette 0 = black, 1 = white.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>

namespace orv {

// The 16 x 16 ordered-dither thresholds, indexed [x mod 16][y mod 16].
using TDitherMatrix = std::array<std::array<uint8_t, 16>, 16>;
const TDitherMatrix& DitherMatrix();

// A 1-bit image (Format_Mono, colour 0 black, colour 1 white). A 1-bit image
// keeps its pixels (each palette entry is black or white by its grey level);
// anything else is dithered: a pixel is white when (R + G + B) / 3 is greater
// than the matrix threshold at its position. Transparent pixels count as white.
QImage ToMonoBitmap(const QImage& image);

// The bytes of a 1-bit bottom-up Windows BMP of the image (converted with
// ToMonoBitmap first): 14-byte file header, 40-byte info header, 2-entry palette.
QByteArray MonoBmpBytes(const QImage& image);

// Writes MonoBmpBytes to a file; 0 or a file error code.
int WriteMonoBmp(const QImage& image, const QString& fileName);

}  // namespace orv
