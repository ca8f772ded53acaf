// Reads the running velmora.exe from a second process, as a screen reader or an audit tool does: which
// control has the focus, each button's style (BS_DEFPUSHBUTTON or BS_PUSHBUTTON) and each list's
// accessible name, fetched through AccessibleObjectFromWindow. One line each, in UTF-8:
//   focus List1
//   button Command2 BS_PUSHBUTTON
//   list List1 合計
// Exits 1 when no velmora window is found. tests/window/xvfb_check.sh runs it under wine.

#include "platform/wide_text.h"
#include "window/commands/control_table.h"

#include <oleacc.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kFirstId = 100; // the window's control ids: 100 plus the control's place in the table

std::string nameOf(HWND control) {
    const int index = GetDlgCtrlID(control) - kFirstId;
    if (index < 0 || index >= static_cast<int>(velmora::kControls.size()))
        return "(other)";
    return std::string(velmora::kControls[static_cast<std::size_t>(index)].name);
}

std::string accessibleName(HWND control) {
    IAccessible* object = nullptr;
    const HRESULT found = AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    if (FAILED(found)) {
        char text[40];
        std::snprintf(text, sizeof text, "(no object: %08lx)", static_cast<unsigned long>(found));
        return text;
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT result = object->get_accName(self, &name);
    object->Release();
    if (FAILED(result))
        return "(no name)";
    std::string text = name ? velmora::utf8FromWide(std::wstring_view(name, SysStringLen(name))) : "";
    SysFreeString(name);
    return text;
}

BOOL CALLBACK report(HWND control, LPARAM) {
    const std::string name = nameOf(control);
    wchar_t className[64] = {};
    GetClassNameW(control, className, 64);
    if (std::wstring(className) == L"Button") {
        const bool isDefault = (GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        std::printf("button %s %s\n", name.c_str(), isDefault ? "BS_DEFPUSHBUTTON" : "BS_PUSHBUTTON");
    } else if (name.rfind("List", 0) == 0) {
        std::printf("list %s %s\n", name.c_str(), accessibleName(control).c_str());
    }
    return TRUE;
}

} // namespace

int main() {
    HWND window = FindWindowW(L"VelmoraVelm", L"velmora");
    if (!window) {
        std::fprintf(stderr, "velmora-window-probe: no velmora window\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
    std::printf("focus %s\n", thread.hwndFocus ? nameOf(thread.hwndFocus).c_str() : "(none)");
    EnumChildWindows(window, report, 0);
    CoUninitialize();
    return 0;
}
