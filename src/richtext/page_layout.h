#pragma once
// Page size and margins of a rich text, in twips (1/1440 inch). They travel
// with the text in its RTF (\paperw \paperh \margl \margr \margt \margb) and
// decide where page-mode painting breaks pages.
namespace orv {

struct PageLayout {
    // RTF's own defaults, used when a file names no page layout.
    int width = 12240;   // 8.5 inch
    int height = 15840;  // 11 inch
    int left = 1800;
    int right = 1800;
    int top = 1440;
    int bottom = 1440;

    static constexpr int kMinPage = 1440;       // 1 inch
    static constexpr int kMaxPage = 31680 * 2;  // 44 inch
    static constexpr int kMinText = 720;        // text area at least half an inch each way

    int textWidth() const { return width - left - right; }
    int textHeight() const { return height - top - bottom; }

    // A layout that can hold text: page sizes within kMinPage..kMaxPage,
    // no negative margin, and margins shrunk evenly where they would leave
    // less than kMinText for the text. Hostile or damaged files can name any
    // numbers; everything that paints or pages the text relies on this.
    PageLayout normalized() const;

    bool operator==(const PageLayout&) const = default;
};

}  // namespace orv
