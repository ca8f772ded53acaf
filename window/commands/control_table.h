#pragma once

#include <array>
#include <string_view>

namespace velmora {

/// The three kinds of control the window holds.
enum class ControlKind { Label, List, Button };

/// One control of the window as designed: measures in twips from the client area's top-left corner.
struct ControlSpec {
    std::string_view name; // the control's objectName
    ControlKind kind;
    std::string_view caption; // UTF-8; empty for labels (set later) and lists
    int left;
    int top;
    int width;
    int height;
    int tabIndex;
};

/// Twips per logical pixel: every measure of the design is a multiple of 15 twips, one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;

/// The client area in twips: 8055 x 6090, that is 537 x 406 logical pixels.
inline constexpr int kClientWidthTwips = 8055;
inline constexpr int kClientHeightTwips = 6090;

constexpr int twipsToPixels(int twips) { return twips / kTwipsPerPixel; }

/// The 21 controls, in the order they are created (labels first, so the lists are drawn over them).
inline constexpr std::array<ControlSpec, 21> kControls{{
    {"Label1", ControlKind::Label, "", 720, 240, 255, 495, 3},
    {"Label2", ControlKind::Label, "", 1560, 120, 255, 615, 4},
    {"Label3", ControlKind::Label, "", 2280, 120, 255, 615, 5},
    {"Label4", ControlKind::Label, "", 3000, 120, 255, 615, 6},
    {"Label5", ControlKind::Label, "", 3720, 120, 255, 615, 7},
    {"Label6", ControlKind::Label, "", 4440, 120, 255, 615, 8},
    {"Label7", ControlKind::Label, "", 5160, 120, 255, 615, 9},
    {"Label8", ControlKind::Label, "", 5880, 120, 255, 615, 10},
    {"Label9", ControlKind::Label, "", 6600, 120, 255, 615, 11},
    {"List1", ControlKind::List, "", 240, 720, 975, 5100, 2},
    {"List2", ControlKind::List, "", 1320, 720, 615, 5100, 12},
    {"List3", ControlKind::List, "", 2040, 720, 615, 5100, 13},
    {"List4", ControlKind::List, "", 2760, 720, 615, 5100, 14},
    {"List5", ControlKind::List, "", 3480, 720, 615, 5100, 15},
    {"List6", ControlKind::List, "", 4200, 720, 615, 5100, 16},
    {"List7", ControlKind::List, "", 4920, 720, 615, 5100, 17},
    {"List8", ControlKind::List, "", 5640, 720, 615, 5100, 18},
    {"List9", ControlKind::List, "", 6360, 720, 615, 5100, 19},
    {"Command1", ControlKind::Button, "開始", 7080, 1080, 855, 615, 0},
    {"Command3", ControlKind::Button, "初期化", 7080, 2760, 855, 615, 20},
    {"Command2", ControlKind::Button, "終了", 7080, 5160, 855, 615, 1},
}};

// The table's measures must all convert to whole pixels.
consteval bool allMeasuresWholePixels() {
    for (const ControlSpec& c : kControls)
        for (int m : {c.left, c.top, c.width, c.height})
            if (m % kTwipsPerPixel != 0)
                return false;
    return kClientWidthTwips % kTwipsPerPixel == 0 && kClientHeightTwips % kTwipsPerPixel == 0;
}
static_assert(allMeasuresWholePixels());

} // namespace velmora
