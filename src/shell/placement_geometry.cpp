#include "shell/placement_geometry.h"

namespace orv {

QString PlacementSection(const QString& className, int dpi) {
    QString section = className + QStringLiteral("_Placement");
    if (dpi > 96) section += QString::number(dpi);
    return section;
}

PlacementRect PullBackOntoScreen(PlacementRect r, int screenWidth, int screenHeight) {
    if (r.right > screenWidth) {
        r.left -= r.right - screenWidth;
        r.right = screenWidth;
    }
    if (r.bottom > screenHeight) {
        r.top -= r.bottom - screenHeight;
        r.bottom = screenHeight;
    }
    return r;
}

Corner CenterOver(int w, int h, const PlacementRect& area) {
    // C++ integer division truncates toward zero, as the program always did.
    return {area.left + (area.width() - w) / 2, area.top + (area.height() - h) / 2};
}

}  // namespace orv
