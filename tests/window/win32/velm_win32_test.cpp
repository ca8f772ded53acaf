// The Win32 window in-process: the real window with its real controls, driven through its messages.

#include "window/win32/dpi_fonts.h"
#include "window/win32/heading_label.h"
#include "window/win32/result_list.h"
#include "window/win32/velm.h"

#include "tests/window/win32/win32_test_support.h"

#include <array>
#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace testing_support;

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// Holds Shift down in the thread's keyboard state, as the dialog manager reads it for Shift+Tab.
class ShiftHeld {
public:
    ShiftHeld() {
        GetKeyboardState(m_saved.data());
        std::array<BYTE, 256> held = m_saved;
        held[VK_SHIFT] = 0x80;
        SetKeyboardState(held.data());
    }
    ~ShiftHeld() { SetKeyboardState(m_saved.data()); }

private:
    std::array<BYTE, 256> m_saved{};
};

struct Box {
    int left, top, width, height;
    friend bool operator==(const Box&, const Box&) = default;
};
std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << b.left << "," << b.top << " " << b.width << "x" << b.height;
}

Box boxInParent(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The design's measures in pixels at 96 dpi (15 twips a pixel) and at 120 dpi (12 twips a pixel, each
// edge rounded): left, top, width, height.
struct Placement {
    const char* name;
    Box at96;
    Box at120;
};
constexpr Placement kPlacements[] = {
    {"Label1", {48, 16, 17, 33}, {60, 20, 21, 41}},      {"Label2", {104, 8, 17, 41}, {130, 10, 21, 51}},
    {"Label3", {152, 8, 17, 41}, {190, 10, 21, 51}},     {"Label4", {200, 8, 17, 41}, {250, 10, 21, 51}},
    {"Label5", {248, 8, 17, 41}, {310, 10, 21, 51}},     {"Label6", {296, 8, 17, 41}, {370, 10, 21, 51}},
    {"Label7", {344, 8, 17, 41}, {430, 10, 21, 51}},     {"Label8", {392, 8, 17, 41}, {490, 10, 21, 51}},
    {"Label9", {440, 8, 17, 41}, {550, 10, 21, 51}},     {"List1", {16, 48, 65, 340}, {20, 60, 81, 425}},
    {"List2", {88, 48, 41, 340}, {110, 60, 51, 425}},    {"List3", {136, 48, 41, 340}, {170, 60, 51, 425}},
    {"List4", {184, 48, 41, 340}, {230, 60, 51, 425}},   {"List5", {232, 48, 41, 340}, {290, 60, 51, 425}},
    {"List6", {280, 48, 41, 340}, {350, 60, 51, 425}},   {"List7", {328, 48, 41, 340}, {410, 60, 51, 425}},
    {"List8", {376, 48, 41, 340}, {470, 60, 51, 425}},   {"List9", {424, 48, 41, 340}, {530, 60, 51, 425}},
    {"Command1", {472, 72, 57, 41}, {590, 90, 71, 51}},  {"Command3", {472, 184, 57, 41}, {590, 230, 71, 51}},
    {"Command2", {472, 344, 57, 41}, {590, 430, 71, 51}},
};

TEST(VelmWin32, ClientAreaAndControlsScaleWithTheResolution) {
    struct Resolution {
        int dpi;
        SIZE client;
        Box Placement::*box;
    };
    for (const Resolution& at : {Resolution{96, {537, 406}, &Placement::at96}, Resolution{120, {671, 508}, &Placement::at120}}) {
        SCOPED_TRACE(at.dpi);
        Velm velm(instance(), at.dpi);
        RECT client{};
        GetClientRect(velm.hwnd(), &client);
        EXPECT_EQ(client.right, at.client.cx);
        EXPECT_EQ(client.bottom, at.client.cy);
        for (const Placement& p : kPlacements) {
            HWND control = velm.control(p.name);
            ASSERT_NE(control, nullptr) << p.name;
            EXPECT_EQ(boxInParent(control), p.*at.box) << p.name;
        }
    }
}

TEST(VelmWin32, CaptionsAndFonts) {
    for (int dpi : {96, 120}) {
        SCOPED_TRACE(dpi);
        Velm velm(instance(), dpi);
        EXPECT_EQ(textOf(velm.hwnd()), L"velmora");
        EXPECT_EQ(textOf(velm.control("Command1")), L"開始");
        EXPECT_EQ(textOf(velm.control("Command3")), L"初期化");
        EXPECT_EQ(textOf(velm.control("Command2")), L"終了");

        auto fontOf = [&](const char* name) {
            return reinterpret_cast<HFONT>(SendMessageW(velm.control(name), WM_GETFONT, 0, 0));
        };
        LOGFONTW label1{};
        ASSERT_EQ(GetObjectW(fontOf("Label1"), sizeof label1, &label1), static_cast<int>(sizeof label1));
        EXPECT_EQ(std::wstring(label1.lfFaceName), L"ＭＳ Ｐゴシック");
        EXPECT_EQ(label1.lfHeight, -MulDiv(12, dpi, 72)); // 12 point: -16 at 96 dpi, -20 at 120
        EXPECT_EQ(label1.lfWeight, 400);
        EXPECT_FALSE(label1.lfItalic || label1.lfUnderline || label1.lfStrikeOut);
        EXPECT_EQ(label1.lfCharSet, 128);

        // Every other control has the window's default font, which must show the Japanese captions.
        HFONT shared = fontOf("Command1");
        EXPECT_NE(shared, fontOf("Label1"));
        EXPECT_TRUE(fontShowsText(shared, L"開始初期化終了りんごバナナ"));
        for (const ControlSpec& spec : kControls) {
            if (spec.name != "Label1") {
                EXPECT_EQ(fontOf(std::string(spec.name).c_str()), shared) << spec.name;
            }
        }
    }
}

TEST(VelmWin32, HoldsTheRowsThisMachinesMemoryHolds) {
    Velm velm(instance());
    EXPECT_EQ(velm.rows().limit(), machineRowLimit());
}

TEST(VelmWin32, LabelsWrapLongHeadingsWithinTheirBox) {
    // In a 17 x 41 label every line starts where the one before it ended (a space at a break left out),
    // fits the width unless it is one character, and starts inside the box: what shows is a prefix of the
    // heading, each part once.
    Velm velm(instance());
    HWND label = velm.control("Label2");
    HDC dc = GetDC(label);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    for (std::wstring_view heading : {L"さくらんぼ", L"パイナップル", L"Apple pie", L"12345678", L"a", L"𠮷野家"}) {
        SCOPED_TRACE(std::string(heading.begin(), heading.end()));
        const std::vector<TextLine> lines = wrapLines(dc, heading, 17, 41);
        ASSERT_FALSE(lines.empty());
        EXPECT_LE(static_cast<int>(lines.size() - 1) * metrics.tmHeight, 40);
        std::size_t next = 0;
        for (const TextLine& line : lines) {
            if (line.start == next + 1 && heading[next] == L' ')
                ++next;
            EXPECT_EQ(line.start, next);
            EXPECT_GE(line.length, 1u);
            SIZE size{};
            GetTextExtentPoint32W(dc, heading.data() + line.start, static_cast<int>(line.length), &size);
            const bool oneCharacter = line.length == 1 || (line.length == 2 && heading[line.start] >= 0xD800 && heading[line.start] <= 0xDBFF);
            EXPECT_TRUE(size.cx <= 17 || oneCharacter) << line.start;
            next = line.start + line.length;
        }
        const int fitting = (41 + metrics.tmHeight - 1) / metrics.tmHeight;
        if (next < heading.size()) {
            EXPECT_EQ(static_cast<int>(lines.size()), fitting) << "a cut heading fills the box";
        }
    }
    ReleaseDC(label, dc);
}

TEST_F(VelmWithSettings, TabShiftTabAccessKeysAndEnterFollowTheDesign) {
    Velm velm(instance());
    velm.show();
    ASSERT_EQ(nameOfFocus(velm), "Command1") << "the focus at first showing";

    const std::vector<std::string> cycle = {"Command2", "List1", "List2", "List3", "List4", "List5", "List6",
                                            "List7",    "List8", "List9", "Command3", "Command1"};
    for (const std::string& expected : cycle) {
        MSG tab = keyMessage(WM_KEYDOWN, VK_TAB);
        EXPECT_TRUE(velm.preTranslate(tab));
        EXPECT_EQ(nameOfFocus(velm), expected) << "Tab";
    }
    {
        ShiftHeld shift;
        for (auto expected = cycle.rbegin() + 1; expected != cycle.rend(); ++expected) {
            MSG tab = keyMessage(WM_KEYDOWN, VK_TAB);
            velm.preTranslate(tab);
            EXPECT_EQ(nameOfFocus(velm), *expected) << "Shift+Tab";
        }
        MSG tab = keyMessage(WM_KEYDOWN, VK_TAB);
        velm.preTranslate(tab);
        EXPECT_EQ(nameOfFocus(velm), "Command1") << "Shift+Tab from Command2";
    }

    // Alt+A, the access key of Label2 ("&Apple"), moves the focus to the next control in tab order after
    // the label: List2 (tab index 12). A key that no label marks leaves the focus alone.
    MSG other = keyMessage(WM_SYSCHAR, L'x');
    velm.preTranslate(other);
    EXPECT_EQ(nameOfFocus(velm), "Command1");
    MSG alt = keyMessage(WM_SYSCHAR, L'a');
    EXPECT_TRUE(velm.preTranslate(alt));
    EXPECT_EQ(nameOfFocus(velm), "List2");

    // Enter in a list does nothing; Enter on a focused button presses it.
    MSG enter = keyMessage(WM_KEYDOWN, VK_RETURN);
    EXPECT_TRUE(velm.preTranslate(enter));
    EXPECT_EQ(velm.rows().size(), 0u);
    SetFocus(velm.control("Command1"));
    enter = keyMessage(WM_KEYDOWN, VK_RETURN);
    velm.preTranslate(enter);
    EXPECT_EQ(velm.rows().size(), 2u) << "Enter on Command1 is Start";
    MSG escape = keyMessage(WM_KEYDOWN, VK_ESCAPE);
    velm.preTranslate(escape);
    EXPECT_TRUE(IsWindow(velm.hwnd())) << "Escape does nothing";
}

TEST_F(VelmWithSettings, StartAppendsRowsToAllNineListsAndResetEmptiesThem) {
    Velm velm(instance());
    velm.Form_Load();
    EXPECT_EQ(textOf(velm.control("Label1")), L"");
    EXPECT_EQ(textOf(velm.control("Label2")), L"&Apple");
    EXPECT_EQ(textOf(velm.control("Label9")), L"h");

    // Rows as {sum, term 1 .. term 8}, once per Start.
    const std::vector<std::array<const wchar_t*, 9>> once = {
        {L"3", L"1", L"1", L"0", L"0", L"0", L"0", L"0", L"0"},
        {L"3", L"0", L"0", L"1", L"0", L"0", L"0", L"0", L"0"},
    };
    velm.Command1_Click();
    velm.Command1_Click();
    for (int column = 0; column < 9; ++column) {
        const ResultList& list = velm.list(column);
        ASSERT_EQ(list.rowCount(), 4) << column;
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(list.itemText(row), once[static_cast<std::size_t>(row % 2)][static_cast<std::size_t>(column)])
                << "List" << column + 1 << " row " << row;
    }

    // A typed character reaches the list's type-ahead: in List2 (1, 0, 1, 0) the next row starting with it.
    SendMessageW(velm.list(1).hwnd(), WM_CHAR, L'0', 0);
    EXPECT_EQ(velm.list(1).currentRow(), 1);
    EXPECT_EQ(velm.list(2).currentRow(), -1) << "each list selects on its own";

    velm.Command3_Click();
    for (int column = 0; column < 9; ++column)
        EXPECT_EQ(velm.list(column).rowCount(), 0) << column;
    EXPECT_EQ(textOf(velm.control("Label2")), L"&Apple") << "Reset leaves the headings";
}

// 10^7 rows, far beyond the 16 bits a scroll message carries: the thumb and End reach the last row.
TEST_F(VelmWithSettings, ScrollsTheWholeLengthOfTenMillionRows) {
    constexpr int kRows = kTenMillionRows;
    Velm velm(instance(), 96, RowStore::kDefaultLimit, searchTenMillionRows);
    velm.show();
    velm.Command1_Click();
    const ResultList& list = velm.list(1);
    ASSERT_EQ(list.rowCount(), kRows);
    const int lastTop = kRows - list.pageRows();
    HWND bar = list.hwnd();

    // The thumb dragged: the list reads the bar's 32-bit track position, not the message's 16 bits.
    struct Drag {
        int code;
        int position;
    };
    for (const Drag& drag : {Drag{SB_THUMBTRACK, lastTop}, Drag{SB_THUMBPOSITION, 5'000'000}, Drag{SB_THUMBTRACK, 65'537}}) {
        SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, drag.position, 0};
        SetScrollInfo(bar, SB_VERT, &info, FALSE);
        SendMessageW(bar, WM_VSCROLL, MAKEWPARAM(drag.code, drag.position & 0xFFFF), 0);
        EXPECT_EQ(list.topRow(), drag.position);
    }
    SendMessageW(bar, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
    EXPECT_EQ(list.topRow(), lastTop);
    EXPECT_EQ(list.itemText(kRows - 1), L"9999");
    EXPECT_EQ(velm.list(2).itemText(kRows - 1), L"999");

    // Home, then End: the selection and the view go to the last row.
    SetFocus(bar);
    SendMessageW(bar, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(list.topRow(), 0);
    SendMessageW(bar, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(list.currentRow(), kRows - 1);
    EXPECT_EQ(list.topRow(), lastTop);
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(bar, SB_VERT, &info);
    EXPECT_EQ(info.nPos, lastTop) << "the bar's thumb follows";
    EXPECT_EQ(velm.list(0).topRow(), 0) << "the other lists stay where they were";
}

} // namespace
} // namespace velmora
