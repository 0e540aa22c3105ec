#pragma once
// Colours as the program's forms name them: a 32-bit number $00BBGGRR (blue in
// the high byte, red in the low one), e.g. 8421440 = $00808040 is the teal of
// the button bars, RGB(0x40, 0x80, 0x80).
#include <QColor>
#include <cstdint>

namespace orv {

QColor FromTColor(std::uint32_t bgr);

// The teal of every button bar (8421440).
inline constexpr std::uint32_t clButtonBarTeal = 8421440;
// Silver, the background of the status lines.
inline constexpr std::uint32_t clSilver = 0x00C0C0C0;
// Blue, the text of the status lines ($00FF0000: blue in the high byte).
inline constexpr std::uint32_t clBlue = 0x00FF0000;

}  // namespace orv
