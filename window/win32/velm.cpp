#include "window/win32/velm.h"

#include "platform/wide_text.h"
#include "window/commands/access_keys.h"
#include "window/commands/control_table.h"
#include "window/commands/list_texts.h"
#include "window/win32/heading_label.h"
#include "window/win32/list_menu.h"
#include "window/win32/result_list.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr wchar_t kClassName[] = L"VelmoraVelm";
constexpr wchar_t kTitle[] = L"velmora";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// Control ids: kFirstId plus the control's place in the table, clear of IDOK and IDCANCEL, which the
// dialog manager sends for Enter and Escape.
constexpr int kFirstId = 100;

bool takesFocus(const ControlSpec& spec) { return spec.kind != ControlKind::Label; }

int indexOf(std::string_view name) {
    for (std::size_t i = 0; i < kControls.size(); ++i)
        if (kControls[i].name == name)
            return static_cast<int>(i);
    return -1;
}

// The system's button procedure, under the one of ours that every button of the window has.
WNDPROC g_systemButtonProc = nullptr;

// A button looks like the default only while it has the focus. The dialog manager gives a button that Tab
// reaches the default-button look and takes it back on its own focus moves only; the window's own moves
// (a click in a list, an access key, the focus restored after a message box) would leave it behind.
LRESULT CALLBACK buttonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcW(g_systemButtonProc, button, message, wParam, lParam);
    if (message == WM_KILLFOCUS && (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    return result;
}

// A request to close the window among the input queued while a command held the thread: a press on the
// close button of the frame, or Alt+F4.
bool requestsClose(const MSG& message) {
    return (message.message == WM_NCLBUTTONDOWN && message.wParam == HTCLOSE) ||
           (message.message == WM_SYSKEYDOWN && message.wParam == VK_F4);
}

} // namespace

Velm::Velm(HINSTANCE instance, int dpi, std::size_t rowLimit, Search search)
    : m_commands(*this, rowLimit, std::move(search)), m_dpi(dpi), m_defaultFont(defaultFont(dpi)),
      m_label1Font(label1Font(dpi)) {
    WindowClassSpec windowClass{kClassName, windowProc};
    windowClass.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    // The 16 x 16 icon of the resources, for the title bar and the task bar alike.
    windowClass.icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    windowClass.smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, LR_SHARED));
    registerWindowClass(instance, windowClass);
    registerHeadingLabelClass(instance);
    ResultList::registerClass(instance);
    const SIZE client = clientSize(dpi);
    RECT frame{0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    // Placed where the system places a new window: no position of its own, no centring.
    CreateWindowExW(0, kClassName, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                    frame.bottom - frame.top, nullptr, nullptr, instance, static_cast<WindowOwner*>(this));
    createControls(instance);
    m_listMenu = std::make_unique<ListMenu>(m_export, m_lists, m_hwnd);
    m_focus = control("Command1");
    // Focus frames and access-key underlines show at all times, not only after the first key press.
    SendMessageW(m_hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

Velm::~Velm() {
    m_endsProgram = false;
    m_lists = {};
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

void Velm::createControls(HINSTANCE instance) {
    int column = 0;
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const ControlSpec& spec = kControls[i];
        const RECT box = controlRect(spec, m_dpi);
        const int id = kFirstId + static_cast<int>(i);
        HWND control = nullptr;
        switch (spec.kind) {
        case ControlKind::Label:
            // Disabled, so that neither Tab nor the arrow keys nor a click ever give a label the focus.
            control = CreateWindowExW(0, kHeadingLabelClass, L"", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_CLIPSIBLINGS,
                                      box.left, box.top, box.right - box.left, box.bottom - box.top, m_hwnd,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
            break;
        case ControlKind::List: {
            auto list = std::make_unique<ResultList>(m_hwnd, box, id, rows(), column, m_defaultFont.get());
            list->setAccessibleName(wideFromUtf8(listAccessibleName(column, {}))); // until its heading comes
            control = list->hwnd();
            m_lists.at(static_cast<std::size_t>(column++)) = std::move(list);
            break;
        }
        case ControlKind::Button:
            control = createButton(instance, spec, box, id);
            break;
        }
        m_controls[i] = control;
        SendMessageW(control, WM_SETFONT,
                     reinterpret_cast<WPARAM>(spec.name == "Label1" ? m_label1Font.get() : m_defaultFont.get()), FALSE);
    }
    // The z-order: the focusable controls by tab index, which is the order Tab follows, then the labels
    // beneath them all, so that a list is drawn over a label it overlaps.
    std::vector<std::size_t> order(kControls.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::ranges::stable_sort(order, [](std::size_t a, std::size_t b) {
        const ControlSpec& x = kControls[a];
        const ControlSpec& y = kControls[b];
        if (takesFocus(x) != takesFocus(y))
            return takesFocus(x);
        return x.tabIndex < y.tabIndex;
    });
    HWND previous = HWND_TOP;
    for (std::size_t i : order) {
        SetWindowPos(m_controls[i], previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = m_controls[i];
    }
}

HWND Velm::createButton(HINSTANCE instance, const ControlSpec& spec, const RECT& box, int id) {
    // BS_PUSHBUTTON, never BS_DEFPUSHBUTTON: no button is the default.
    HWND button = CreateWindowExW(0, L"BUTTON", wideFromUtf8(spec.caption).c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, box.left, box.top,
                                  box.right - box.left, box.bottom - box.top, m_hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(buttonProc)));
    if (previous != buttonProc)
        g_systemButtonProc = previous;
    return button;
}

HWND Velm::control(std::string_view name) const {
    const int index = indexOf(name);
    return index < 0 ? nullptr : m_controls[static_cast<std::size_t>(index)];
}

void Velm::Form_Load() {
    m_loaded = true;
    m_commands.Form_Load();
}

void Velm::show(int showCommand) {
    if (!m_loaded)
        Form_Load();
    if (!m_hwnd)
        return;
    ShowWindow(m_hwnd, showCommand);
    UpdateWindow(m_hwnd);
    SetFocus(m_focus);
}

int Velm::run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (preTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

bool Velm::preTranslate(MSG& message) {
    if (!m_hwnd || (message.hwnd != m_hwnd && !IsChild(m_hwnd, message.hwnd)))
        return false;
    if (message.message == WM_KEYDOWN && (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
        // Enter presses a focused button, as Space does; elsewhere Enter and Escape do nothing.
        HWND focus = GetFocus();
        const int index = static_cast<int>(GetDlgCtrlID(focus)) - kFirstId;
        if (message.wParam == VK_RETURN && index >= 0 && index < static_cast<int>(kControls.size()) &&
            kControls[static_cast<std::size_t>(index)].kind == ControlKind::Button && GetParent(focus) == m_hwnd)
            SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED), reinterpret_cast<LPARAM>(focus));
        return true;
    }
    if (message.message == WM_SYSCHAR && focusAfterAccessKey(static_cast<wchar_t>(message.wParam)))
        return true;
    return IsDialogMessageW(m_hwnd, &message);
}

bool Velm::focusAfterAccessKey(wchar_t key) {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (kControls[i].kind != ControlKind::Label)
            continue;
        const std::wstring caption = windowText(m_controls[i]);
        if (!parseAccessKeys(std::wstring_view(caption)).matches(key))
            continue;
        // The next control after the label in tab order that takes the focus, going round after the last.
        const int from = kControls[i].tabIndex;
        const ControlSpec* best = nullptr;
        for (const ControlSpec& spec : kControls) {
            if (!takesFocus(spec))
                continue;
            const auto distance = [&](const ControlSpec& s) { return (s.tabIndex - from + 64) % 64; };
            if (!best || distance(spec) < distance(*best))
                best = &spec;
        }
        SetFocus(control(best->name));
        return true;
    }
    return false;
}

bool Velm::setHeading(int term, const std::string& text) {
    HWND label = control("Label" + std::to_string(term + 1));
    if (!label || !SetWindowTextW(label, wideFromUtf8(text).c_str()))
        return false;
    m_lists.at(static_cast<std::size_t>(term))->setAccessibleName(wideFromUtf8(listAccessibleName(term, text)));
    return true;
}

void Velm::showMessage(const std::string& text, const std::string& detail) {
    const std::wstring message = wideFromUtf8(detail.empty() ? text : text + "\n\n" + detail);
    // Before the window is shown the box has no owner, so that it stands in the middle of the screen
    // rather than at the hidden window's corner; MB_TASKMODAL still holds the program until it is closed.
    const bool shown = m_hwnd && IsWindowVisible(m_hwnd);
    MessageBoxW(shown ? m_hwnd : nullptr, message.c_str(), kTitle, MB_OK | (shown ? 0 : MB_TASKMODAL));
}

void Velm::setBusy(bool busy) {
    m_busy = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
    if (busy && m_hwnd) {
        // Let the hourglass and the pressed button reach the screen before the search holds the thread.
        UpdateWindow(m_hwnd);
        GdiFlush();
    }
}

bool Velm::discardQueuedInput() {
    bool close = false;
    MSG message;
    for (const auto& [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST},
                                     {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}}) {
        while (PeekMessageW(&message, nullptr, first, last, PM_REMOVE))
            close = close || requestsClose(message);
    }
    return close;
}

void Velm::rowsChanged() {
    for (const auto& list : m_lists)
        list->rowsChanged();
}

void Velm::quit() {
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

std::string Velm::putOnClipboard(const ClipboardText& text) { return putOnWin32Clipboard(m_hwnd, text); }

std::optional<std::filesystem::path> Velm::askSavePath() { return askWin32SavePath(m_hwnd); }

LRESULT Velm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int index = LOWORD(wParam) - kFirstId;
        if (HIWORD(wParam) != BN_CLICKED || !lParam || index < 0 || index >= static_cast<int>(kControls.size()))
            return 0;
        const std::string_view name = kControls[static_cast<std::size_t>(index)].name;
        if (name == "Command1")
            Command1_Click();
        else if (name == "Command2")
            Command2_Click();
        else if (name == "Command3")
            Command3_Click();
        return 0;
    }
    case DM_GETDEFID:
        return 0; // no default button
    case WM_ACTIVATE:
        // Keep the focus where it was across a message box or another program's window.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(m_hwnd, focus))
                m_focus = focus;
        } else if (!HIWORD(wParam) && m_focus) {
            SetFocus(m_focus);
        }
        return 0;
    case WM_SETFOCUS:
        if (m_focus)
            SetFocus(m_focus);
        return 0;
    case WM_SETCURSOR:
        if (m_busy) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (m_endsProgram)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

} // namespace velmora
