#include "ui/widgets/tcolor.h"

namespace orv {

QColor FromTColor(std::uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

}  // namespace orv
