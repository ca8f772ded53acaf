// The Win32 window as a screen reader finds it, in-process: the accessible objects that the lists and the
// labels hand out through WM_GETOBJECT, fetched and read as a screen reader does.

#include "window/win32/result_list.h"
#include "window/win32/velm.h"

#include "tests/window/win32/win32_test_support.h"

#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace testing_support;

// What a screen reader reads, fetched as a screen reader fetches it (AccessibleObjectFromWindow, which
// sends WM_GETOBJECT): a list of ten million rows with its rows as items, their focus and selection following
// the keys and announced as they move, and the labels' captions as static text without the access-key
// marks, a new caption announced.
struct ReleaseCom {
    void operator()(IUnknown* object) const { object->Release(); }
};
using Accessible = std::unique_ptr<IAccessible, ReleaseCom>;

Accessible accessibleOf(HWND window) {
    IAccessible* object = nullptr;
    EXPECT_EQ(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object)), S_OK);
    return Accessible(object);
}

VARIANT childId(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// The child id a VARIANT names, or -1 when it is empty.
LONG idIn(const VARIANT& v) { return v.vt == VT_I4 ? v.lVal : -1; }

std::wstring nameOf(IAccessible* object, LONG child, HRESULT* result = nullptr) {
    BSTR name = nullptr;
    const HRESULT hr = object->get_accName(childId(child), &name);
    if (result)
        *result = hr;
    std::wstring text = name ? std::wstring(name, SysStringLen(name)) : L"";
    SysFreeString(name);
    return text;
}

LONG roleOf(IAccessible* object, LONG child) {
    VARIANT role;
    VariantInit(&role);
    object->get_accRole(childId(child), &role);
    return idIn(role);
}

LONG stateOf(IAccessible* object, LONG child) {
    VARIANT state;
    VariantInit(&state);
    object->get_accState(childId(child), &state);
    return idIn(state);
}

struct WinEvent {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};
std::vector<WinEvent> g_events;

void CALLBACK recordEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    g_events.push_back({event, window, object, child});
}

// The last event `event` raised for `window`'s client, with the messages that carry it handled first.
LONG lastEventChild(DWORD event, HWND window) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    for (auto it = g_events.rbegin(); it != g_events.rend(); ++it)
        if (it->event == event && it->window == window && it->object == OBJID_CLIENT)
            return it->child;
    return -1;
}

TEST_F(VelmWithSettings, ScreenReadersReadTheRowsFollowTheKeysAndReadTheLabels) {
    constexpr LONG kRows = kTenMillionRows; // row r holds r % 10000 as term 1
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_REORDER, EVENT_OBJECT_NAMECHANGE, nullptr, recordEvent,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    Accessible heldList, heldLabel;
    {
        Velm velm(instance(), 96, RowStore::kDefaultLimit, searchTenMillionRows);
        velm.show();
        velm.Command1_Click();
        const ResultList& list = velm.list(1);
        const HWND window = list.hwnd();
        EXPECT_EQ(lastEventChild(EVENT_OBJECT_REORDER, window), CHILDID_SELF) << "the rows came";
        Accessible rows = accessibleOf(window);
        ASSERT_TRUE(rows);

        LONG count = 0;
        EXPECT_EQ(rows->get_accChildCount(&count), S_OK);
        EXPECT_EQ(count, kRows);
        EXPECT_EQ(roleOf(rows.get(), CHILDID_SELF), ROLE_SYSTEM_LIST);
        EXPECT_EQ(roleOf(rows.get(), kRows), ROLE_SYSTEM_LISTITEM);
        EXPECT_EQ(nameOf(rows.get(), 7'654'321), L"4320") << "row 7,654,320, deep in the list";
        HRESULT outside = S_OK;
        nameOf(rows.get(), kRows + 1, &outside);
        EXPECT_EQ(outside, E_INVALIDARG);
        VARIANT end;
        VariantInit(&end);
        EXPECT_EQ(rows->accNavigate(NAVDIR_LASTCHILD, childId(CHILDID_SELF), &end), S_OK);
        EXPECT_EQ(idIn(end), kRows);
        EXPECT_EQ(rows->accNavigate(NAVDIR_NEXT, childId(kRows), &end), S_FALSE);
        EXPECT_EQ(rows->accNavigate(NAVDIR_PREVIOUS, childId(kRows), &end), S_OK);
        EXPECT_EQ(idIn(end), kRows - 1);

        // The focus comes to the list with no row selected, then each key moves it, or the screen reader
        // selects a row while the focus is elsewhere: the focused child, the selection, the states, the box
        // and the events follow the row.
        struct Step {
            WPARAM key; // 0: no key
            LONG focused;
            bool readerSelects = false;
        };
        SetFocus(window);
        for (const Step& step : {Step{0, CHILDID_SELF}, Step{VK_DOWN, 1}, Step{VK_DOWN, 2}, Step{VK_END, kRows},
                                 Step{VK_UP, kRows - 1}, Step{0, 5'000'000, true}, Step{VK_HOME, 1}}) {
            SCOPED_TRACE(step.focused);
            if (step.key)
                SendMessageW(window, WM_KEYDOWN, step.key, 0);
            if (step.readerSelects) {
                SetFocus(velm.control("Command1"));
                EXPECT_EQ(rows->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, childId(step.focused)), S_OK);
            }
            VARIANT focus, selection;
            VariantInit(&focus);
            VariantInit(&selection);
            EXPECT_EQ(rows->get_accFocus(&focus), S_OK);
            EXPECT_EQ(idIn(focus), step.focused);
            rows->get_accSelection(&selection);
            if (step.focused == CHILDID_SELF) {
                EXPECT_EQ(idIn(selection), -1) << "nothing selected yet";
                continue;
            }
            EXPECT_EQ(idIn(selection), step.focused);
            EXPECT_EQ(nameOf(rows.get(), step.focused), std::to_wstring((step.focused - 1) % 10000));
            const LONG state = stateOf(rows.get(), step.focused);
            EXPECT_EQ(state & (STATE_SYSTEM_SELECTED | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_INVISIBLE),
                      STATE_SYSTEM_SELECTED | STATE_SYSTEM_FOCUSED);
            EXPECT_EQ(lastEventChild(EVENT_OBJECT_FOCUS, window), step.focused);
            EXPECT_EQ(lastEventChild(EVENT_OBJECT_SELECTION, window), step.focused);

            LONG left = 0, top = 0, width = 0, height = 0;
            EXPECT_EQ(rows->accLocation(&left, &top, &width, &height, childId(step.focused)), S_OK);
            EXPECT_EQ(height, list.rowHeight());
            VARIANT hit;
            VariantInit(&hit);
            EXPECT_EQ(rows->accHitTest(left + width / 2, top + height / 2, &hit), S_OK);
            EXPECT_EQ(idIn(hit), step.focused) << "the row found at its own box";
            const LONG away = step.focused <= kRows / 2 ? kRows : 1; // the far end, out of view
            EXPECT_EQ(stateOf(rows.get(), away) & (STATE_SYSTEM_SELECTED | STATE_SYSTEM_INVISIBLE), STATE_SYSTEM_INVISIBLE);
            EXPECT_EQ(rows->accLocation(&left, &top, &width, &height, childId(away)), S_FALSE);
        }

        // The labels: read-only static text named by the caption as shown, never focusable, not unavailable.
        SetWindowTextW(velm.control("Label3"), L"R&&D");
        EXPECT_EQ(lastEventChild(EVENT_OBJECT_NAMECHANGE, velm.control("Label3")), CHILDID_SELF);
        struct Caption {
            const char* label;
            std::wstring_view name;
            std::wstring_view shortcut;
        };
        for (const Caption& c : {Caption{"Label2", L"Apple", L"Alt+A"}, Caption{"Label3", L"R&D", L""}, Caption{"Label1", L"", L""}}) {
            SCOPED_TRACE(c.label);
            Accessible label = accessibleOf(velm.control(c.label));
            ASSERT_TRUE(label);
            EXPECT_EQ(nameOf(label.get(), CHILDID_SELF), c.name);
            EXPECT_EQ(roleOf(label.get(), CHILDID_SELF), ROLE_SYSTEM_STATICTEXT);
            const LONG state = stateOf(label.get(), CHILDID_SELF);
            EXPECT_EQ(state & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_READONLY), STATE_SYSTEM_READONLY);
            BSTR shortcut = nullptr;
            label->get_accKeyboardShortcut(childId(CHILDID_SELF), &shortcut);
            EXPECT_EQ(std::wstring(shortcut ? shortcut : L""), c.shortcut);
            SysFreeString(shortcut);
        }
        heldList = std::move(rows);
        heldLabel = accessibleOf(velm.control("Label2"));
    }
    // Held past their window's end, the objects answer that they are cut off.
    LONG count = 0;
    EXPECT_EQ(heldList->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    HRESULT gone = S_OK;
    nameOf(heldLabel.get(), CHILDID_SELF, &gone);
    EXPECT_EQ(gone, CO_E_OBJNOTCONNECTED);
    heldList.reset();
    heldLabel.reset();
    UnhookWinEvent(hook);
    CoUninitialize();
}

// Each list is named after its column: 合計 for the sums, the heading of its term as its label shows it
// for the others. Loaded again, the names follow the new headings, and the change is announced.
TEST_F(VelmWithSettings, ListsAreNamedAfterTheirColumn) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, recordEvent,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    {
        Velm velm(instance());
        const auto names = [&] {
            std::vector<std::wstring> result;
            for (int column = 0; column < 9; ++column)
                result.push_back(nameOf(accessibleOf(velm.list(column).hwnd()).get(), CHILDID_SELF));
            return result;
        };
        velm.Form_Load();
        EXPECT_EQ(names(), (std::vector<std::wstring>{L"合計", L"Apple", L"b", L"c", L"d", L"e", L"f", L"g", L"h"}));
        static constexpr std::string_view renamed[8] = {"\x82\xe8\x82\xf1\x82\xb2", "R&&D", "", "d", "e", "f", "g", "h"};
        writeFile(m_folder.path() / "text-2x.ini", settingsBytes("3", renamed));
        velm.Form_Load();
        EXPECT_EQ(names(), (std::vector<std::wstring>{L"合計", L"りんご", L"R&D", L"", L"d", L"e", L"f", L"g", L"h"}));
        EXPECT_EQ(lastEventChild(EVENT_OBJECT_NAMECHANGE, velm.list(1).hwnd()), CHILDID_SELF);
    }
    UnhookWinEvent(hook);
    CoUninitialize();
}

} // namespace
} // namespace velmora
