#include "richtext/page_layout.h"

#include <algorithm>

namespace orv {

namespace {

// Shrinks a and b evenly so that a + b <= room (both stay >= 0).
void fitMargins(int& a, int& b, int room) {
    a = std::max(a, 0);
    b = std::max(b, 0);
    const long long sum = static_cast<long long>(a) + b;
    if (sum <= room) return;
    a = static_cast<int>(static_cast<long long>(a) * room / sum);
    b = std::min(b, room - a);
}

}  // namespace

PageLayout PageLayout::normalized() const {
    PageLayout p = *this;
    p.width = std::clamp(p.width, kMinPage, kMaxPage);
    p.height = std::clamp(p.height, kMinPage, kMaxPage);
    fitMargins(p.left, p.right, p.width - kMinText);
    fitMargins(p.top, p.bottom, p.height - kMinText);
    return p;
}

}  // namespace orv
