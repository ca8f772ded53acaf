// The Win32 window's habits around the commands, in-process: a button looks like the default only while it
// has the focus, the pointer is back to default while a run-time error's message waits, a close asked for
// during Start ends the program once Start is over, and a drag held past a list's edge keeps scrolling.

#include "window/win32/result_list.h"
#include "window/win32/velm.h"

#include "search/run_time_error.h"
#include "tests/window/win32/win32_test_support.h"

#include <functional>
#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace testing_support;

// The buttons that carry the default-button style.
std::vector<std::string> defaultLooking(const Velm& velm) {
    std::vector<std::string> names;
    for (const char* name : {"Command1", "Command2", "Command3"})
        if ((GetWindowLongPtrW(velm.control(name), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            names.emplace_back(name);
    return names;
}

TEST_F(VelmWithSettings, OnlyAFocusedButtonLooksLikeTheDefault) {
    Velm velm(instance());
    velm.show();
    struct Way {
        const char* name;
        std::function<void()> moveFocus;
        const char* focus;
    };
    const Way ways[] = {
        {"a click in a list",
         [&] {
             SendMessageW(velm.control("List3"), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
             SendMessageW(velm.control("List3"), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
         },
         "List3"},
        {"an access key",
         [&] {
             MSG alt = keyMessage(WM_SYSCHAR, L'a');
             velm.preTranslate(alt);
         },
         "List2"},
        {"the focus restored, as after a message box", [&] { SetFocus(velm.control("List7")); }, "List7"},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        SetFocus(velm.control("Command1"));
        MSG tab = keyMessage(WM_KEYDOWN, VK_TAB); // Tab, through the dialog manager, to Quit
        velm.preTranslate(tab);
        ASSERT_EQ(nameOfFocus(velm), "Command2");
        EXPECT_EQ(defaultLooking(velm), std::vector<std::string>{"Command2"}) << "a button Tab reaches looks like the default";
        way.moveFocus();
        EXPECT_EQ(nameOfFocus(velm), way.focus);
        EXPECT_EQ(defaultLooking(velm), std::vector<std::string>{});
    }
}

// Answers the message box from inside its own loop, noting whether the window still showed the hourglass.
struct MessageWatch {
    HWND window = nullptr;
    int boxes = 0;
    bool busyPointer = false;
};
MessageWatch g_watch;

void CALLBACK answerMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowW(L"#32770", L"velmora");
    if (!box || !IsWindowVisible(box))
        return;
    ++g_watch.boxes;
    SendMessageW(g_watch.window, WM_SETCURSOR, reinterpret_cast<WPARAM>(g_watch.window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    g_watch.busyPointer = GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
    SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(VelmWithSettings, PointerIsBackToDefaultWhileARunTimeErrorIsReported) {
    struct Case {
        const char* name;
        std::size_t rowLimit;
        bool overflow;
    };
    for (const Case& c : {Case{"overflow", RowStore::kBlockRows, true}, Case{"the row limit", RowStore::kBlockRows, false}}) {
        SCOPED_TRACE(c.name);
        // Three rows, then the overflow; or one more row than the limit holds.
        Velm velm(instance(), 96, c.rowLimit, [&](const SearchSetup&, SolutionSink& sink) {
            sink.accept(std::vector<Solution>(c.overflow ? 3 : c.rowLimit + 1));
            throw RunTimeError::overflow();
        });
        velm.show();
        g_watch = {velm.hwnd()};
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, answerMessageBox);
        velm.Command1_Click();
        KillTimer(nullptr, timer);
        EXPECT_EQ(g_watch.boxes, 1);
        EXPECT_FALSE(g_watch.busyPointer);
        EXPECT_EQ(velm.rows().size(), c.overflow ? 3 : c.rowLimit) << "the rows found before the error stay";
        EXPECT_TRUE(IsWindow(velm.hwnd()));
    }
}

TEST_F(VelmWithSettings, CloseAskedForDuringStartEndsTheProgramOnceStartIsOver) {
    struct Case {
        const char* name;
        const char* target; // the control the input goes to, or null for the window
        UINT message;
        WPARAM wParam;
        bool ends;
    };
    for (const Case& c : {Case{"the close button", nullptr, WM_NCLBUTTONDOWN, HTCLOSE, true},
                          Case{"Alt+F4", "Command1", WM_SYSKEYDOWN, VK_F4, true},
                          Case{"a press on the title bar", nullptr, WM_NCLBUTTONDOWN, HTCAPTION, false},
                          Case{"a click on Quit", "Command2", WM_LBUTTONDOWN, MK_LBUTTON, false}}) {
        SCOPED_TRACE(c.name);
        HWND target = nullptr;
        Velm velm(instance(), 96, RowStore::kBlockRows, [&](const SearchSetup& setup, SolutionSink& sink) {
            PostMessageW(target, c.message, c.wParam, 0);
            if (c.message == WM_LBUTTONDOWN)
                PostMessageW(target, WM_LBUTTONUP, 0, 0);
            combinationSearch(setup, sink);
        });
        velm.show();
        HWND window = velm.hwnd();
        target = c.target ? velm.control(c.target) : window;
        velm.Command1_Click();
        EXPECT_EQ(!IsWindow(window), c.ends);
        MSG quit;
        EXPECT_EQ(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0, c.ends) << "the program ends";
        pumpMessages(50);
        EXPECT_EQ(!IsWindow(window), c.ends) << "the queued input did nothing after Start";
        EXPECT_EQ(velm.rows().size(), 2u);
    }
}

// Held below the list, the button keeps the selection moving a row at a time without the pointer moving,
// and stops once it is released; above the list, the same upwards.
TEST_F(VelmWithSettings, DragHeldPastTheEdgeKeepsScrolling) {
    Velm velm(instance(), 96, RowStore::kBlockRows,
              [](const SearchSetup&, SolutionSink& sink) { sink.accept(std::vector<Solution>(1000)); });
    velm.show();
    velm.Command1_Click();
    const ResultList& list = velm.list(1);
    HWND window = list.hwnd();
    RECT client{};
    GetClientRect(window, &client);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, list.rowHeight() + 1));
    ASSERT_EQ(list.currentRow(), 1);
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, client.bottom + 10));
    EXPECT_EQ(list.currentRow(), list.pageRows()) << "one row past the last in view";
    pumpMessages(400);
    const int held = list.currentRow();
    EXPECT_GE(held, list.pageRows() + 3) << "the timer went on scrolling";
    EXPECT_EQ(list.topRow(), held - list.pageRows() + 1);
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, -10));
    pumpMessages(300);
    EXPECT_LE(list.currentRow(), list.topRow()) << "above the list it scrolls upwards";
    EXPECT_LT(list.topRow(), held - list.pageRows());
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5, -10));
    const int released = list.currentRow();
    pumpMessages(200);
    EXPECT_EQ(list.currentRow(), released) << "released, the selection stays";
}

} // namespace
} // namespace velmora
