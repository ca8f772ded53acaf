#include "window/win32/velm.h"

#include "window/commands/control_table.h"
#include "window/win32/heading_label.h"
#include "window/win32/list_menu.h"
#include "window/win32/result_list.h"
#include "window/win32/wide_text.h"

#include <algorithm>
#include <string>
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

void registerWindowClass(HINSTANCE instance, WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(instance, kClassName, &windowClass))
        return;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    // The 16 x 16 icon of the resources, for the title bar and the task bar alike.
    windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0));
    RegisterClassExW(&windowClass);
}

} // namespace

Velm::Velm(HINSTANCE instance, int dpi, std::size_t rowLimit, Search search)
    : m_commands(*this, rowLimit, std::move(search)), m_dpi(dpi), m_defaultFont(defaultFont(dpi)),
      m_label1Font(label1Font(dpi)) {
    registerWindowClass(instance, windowProc);
    registerHeadingLabelClass(instance);
    ResultList::registerClass(instance);
    const SIZE client = clientSize(dpi);
    RECT frame{0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    // Placed where the system places a new window: no position of its own, no centring.
    CreateWindowExW(0, kClassName, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                    frame.bottom - frame.top, nullptr, nullptr, instance, this);
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
            control = list->hwnd();
            m_lists.at(static_cast<std::size_t>(column++)) = std::move(list);
            break;
        }
        case ControlKind::Button:
            // BS_PUSHBUTTON, never BS_DEFPUSHBUTTON: no button is the default.
            control = CreateWindowExW(0, L"BUTTON", wideFromUtf8(spec.caption).c_str(),
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, box.left,
                                      box.top, box.right - box.left, box.bottom - box.top, m_hwnd,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
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
    const auto upper = [](wchar_t c) { return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c))))); };
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (kControls[i].kind != ControlKind::Label)
            continue;
        std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(m_controls[i])) + 1, L'\0');
        caption.resize(static_cast<std::size_t>(GetWindowTextW(m_controls[i], caption.data(), static_cast<int>(caption.size()))));
        const MnemonicText text = parseMnemonics(caption);
        const bool matches = std::ranges::any_of(text.marked, [&](std::size_t at) { return upper(text.shown[at]) == upper(key); });
        if (!matches)
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
    return label && SetWindowTextW(label, wideFromUtf8(text).c_str());
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

void Velm::discardQueuedInput() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
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

LRESULT CALLBACK Velm::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* velm = static_cast<Velm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        velm->m_hwnd = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(velm));
    }
    auto* velm = reinterpret_cast<Velm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!velm)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        velm->m_hwnd = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return velm->handle(message, wParam, lParam);
}

} // namespace velmora
