#pragma once
// The arithmetic of window placement, apart from any window so it can be
// tested on its own. Rectangles are Left/Top/Right/Bottom with Right and
// Bottom exclusive, as they are stored in ORV.INI.
#include <QString>

namespace orv {

struct PlacementRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const PlacementRect&) const = default;
};

// "<ClassName>_Placement", with the screen's pixels per inch appended when above 96.
QString PlacementSection(const QString& className, int dpi);

// Pulls a saved rectangle back onto a screen of the given size: when Right
// exceeds the width, Left moves left by the excess and Right becomes the
// width; likewise Top and Bottom. The size never changes, so a window wider
// than the screen ends with a negative Left.
PlacementRect PullBackOntoScreen(PlacementRect r, int screenWidth, int screenHeight);

// Top-left corner that centres a w x h window over the area; half-differences
// are truncated toward zero.
struct Corner {
    int x = 0, y = 0;
    bool operator==(const Corner&) const = default;
};
Corner CenterOver(int w, int h, const PlacementRect& area);

}  // namespace orv
