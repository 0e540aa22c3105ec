#pragma once
// Quarter-turn rotation and nearest-pixel stretching of 1-bit page bitmaps
// (QImage::Format_Mono, first pixel in the most significant bit), shared by the
// viewer's page cache, its painting and the benchmarks. Neither changes the
// colour table; both keep 1-bit images 1-bit.
#include <QImage>
#include <QRect>

namespace orv {

// Rotates by quarterTurns quarter turns clockwise (taken mod 4). One quarter
// turn maps source pixel (x, y) to (H - 1 - y, x) in a bitmap H (the source
// height) wide; three map it to (y, W - 1 - x); a half turn reverses the rows
// and the pixels in each row. A null image stays null; a null result means the
// memory for the new bitmap could not be had.
QImage RotateMonoBitmap(const QImage& source, int quarterTurns);

// The part `target` of the source stretched to displayWidth x displayHeight,
// as a bitmap of target's size. Each target pixel (x, y) takes the source
// pixel (x * W / displayWidth, y * H / displayHeight) - the same straight pixel
// copy the decoder uses for a scaled page, so a page stretched here matches the
// page the decoder scales itself, pixel for pixel. Target pixels outside the
// display size are bit 0.
QImage StretchMonoRegion(const QImage& source, int displayWidth, int displayHeight, const QRect& target);

}  // namespace orv
