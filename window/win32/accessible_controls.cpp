#include "window/win32/accessible_controls.h"

#include "window/commands/access_keys.h"
#include "window/win32/result_list.h"
#include "window/win32/window_class.h"

#include <oleacc.h>

#include <algorithm>
#include <optional>
#include <string>

namespace velmora {

namespace {

HRESULT giveText(const std::wstring& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT giveChild(LONG child, VARIANT* out) {
    out->vt = VT_I4;
    out->lVal = child;
    return S_OK;
}

HRESULT giveNothing(VARIANT* out) {
    out->vt = VT_EMPTY;
    return S_FALSE;
}

AccessKeyText<wchar_t> captionOf(HWND label) {
    const std::wstring caption = windowText(label);
    return parseAccessKeys(std::wstring_view(caption));
}

} // namespace

// The accessible object of one control: of a result list when `m_list` is set, else of a heading label.
// The rows are child ids 1..rowCount, read from the list at each call; the object keeps no row of its own.
class AccessibleObject final : public IAccessible {
public:
    AccessibleObject(HWND window, ResultList* list) : m_hwnd(window), m_list(list) {
        CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&m_standard));
    }
    ~AccessibleObject() { disconnect(); }
    AccessibleObject(const AccessibleObject&) = delete;
    AccessibleObject& operator=(const AccessibleObject&) = delete;

    void disconnect() {
        m_hwnd = nullptr;
        m_list = nullptr;
        if (m_standard)
            m_standard->Release();
        m_standard = nullptr;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (!out)
            return E_POINTER;
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: clients of our own objects call IAccessible directly; no type information is offered.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible. Each call checks the connection first, then the child id; the window itself, child id
    // CHILDID_SELF, goes to the standard object for all that is not ours.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        *parent = nullptr;
        return connected() ? m_standard->get_accParent(parent) : CO_E_OBJNOTCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        *count = 0;
        if (!connected())
            return CO_E_OBJNOTCONNECTED;
        *count = rowCount();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        *out = nullptr;
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        return child.lVal == CHILDID_SELF ? E_INVALIDARG : S_FALSE; // rows are simple elements
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        *name = nullptr;
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        if (child.lVal != CHILDID_SELF)
            return giveText(m_list->itemText(child.lVal - 1), name);
        return giveText(m_list ? m_list->accessibleName() : captionOf(m_hwnd).shown, name);
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        role->vt = VT_EMPTY;
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        const LONG value = child.lVal != CHILDID_SELF ? ROLE_SYSTEM_LISTITEM : m_list ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_STATICTEXT;
        return giveChild(value, role);
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        state->vt = VT_EMPTY;
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        if (child.lVal != CHILDID_SELF)
            return giveChild(rowState(child.lVal - 1), state);
        const HRESULT result = m_standard->get_accState(child, state);
        // A label is read-only text that never takes the focus. Its window is disabled only to keep the
        // focus away; the text is not unavailable.
        constexpr LONG kNotOfALabel = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_UNAVAILABLE;
        if (!m_list && result == S_OK && state->vt == VT_I4)
            state->lVal = (state->lVal & ~kNotOfALabel) | STATE_SYSTEM_READONLY;
        return result;
    }

    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        *shortcut = nullptr;
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        if (child.lVal != CHILDID_SELF)
            return S_FALSE;
        if (!m_list) {
            const std::optional<wchar_t> key = captionOf(m_hwnd).key();
            return key ? giveText(std::wstring(L"Alt+") + *key, shortcut) : S_FALSE;
        }
        return m_standard->get_accKeyboardShortcut(child, shortcut);
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        focus->vt = VT_EMPTY;
        if (!connected())
            return CO_E_OBJNOTCONNECTED;
        if (GetFocus() != m_hwnd)
            return S_FALSE;
        return giveChild(m_list && m_list->currentRow() >= 0 ? m_list->currentRow() + 1 : CHILDID_SELF, focus);
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        selection->vt = VT_EMPTY;
        if (!connected())
            return CO_E_OBJNOTCONNECTED;
        if (!m_list || m_list->currentRow() < 0)
            return S_FALSE;
        return giveChild(m_list->currentRow() + 1, selection);
    }

    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        if (child.lVal == CHILDID_SELF)
            return m_standard->accSelect(flags, child);
        // One row at most is selected: extending or removing a selection has no meaning here.
        if (flags & ~(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION))
            return E_INVALIDARG;
        if (flags & SELFLAG_TAKEFOCUS)
            SetFocus(m_hwnd);
        if (m_list && (flags & (SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION)))
            m_list->selectRow(child.lVal - 1);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        *left = *top = *width = *height = 0;
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        if (child.lVal == CHILDID_SELF)
            return m_standard->accLocation(left, top, width, height, child);
        RECT box{};
        if (!visibleRowBox(child.lVal - 1, box))
            return S_FALSE; // a row scrolled out of view has no place on the screen
        MapWindowPoints(m_hwnd, nullptr, reinterpret_cast<POINT*>(&box), 2);
        *left = box.left;
        *top = box.top;
        *width = box.right - box.left;
        *height = box.bottom - box.top;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        end->vt = VT_EMPTY;
        const HRESULT check = checkChild(start);
        if (check != S_OK)
            return check;
        const LONG rows = rowCount();
        if (start.lVal == CHILDID_SELF) {
            if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD)
                return rows == 0 ? giveNothing(end) : giveChild(direction == NAVDIR_FIRSTCHILD ? 1 : rows, end);
            return m_standard->accNavigate(direction, start, end);
        }
        LONG next = 0;
        if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)
            next = start.lVal + 1;
        else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)
            next = start.lVal - 1;
        return next >= 1 && next <= rows ? giveChild(next, end) : giveNothing(end);
    }

    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
        hit->vt = VT_EMPTY;
        if (!connected())
            return CO_E_OBJNOTCONNECTED;
        POINT at{x, y};
        ScreenToClient(m_hwnd, &at);
        RECT client{};
        GetClientRect(m_hwnd, &client);
        if (!m_list || !PtInRect(&client, at))
            return m_standard->accHitTest(x, y, hit);
        const long long row = static_cast<long long>(m_list->topRow()) + at.y / m_list->rowHeight();
        return giveChild(row < m_list->rowCount() ? static_cast<LONG>(row + 1) : CHILDID_SELF, hit);
    }

    // What the rows do not have, the window's standard object answers for the control itself.
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override { return forSelf(child, out, &IAccessible::get_accValue); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return forSelf(child, out, &IAccessible::get_accDescription);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override { return forSelf(child, out, &IAccessible::get_accHelp); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return forSelf(child, out, &IAccessible::get_accDefaultAction);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        *file = nullptr;
        *topic = 0;
        const HRESULT check = checkChild(child);
        return check != S_OK ? check : child.lVal == CHILDID_SELF ? m_standard->get_accHelpTopic(file, child, topic) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        const HRESULT check = checkChild(child);
        return check != S_OK ? check : child.lVal == CHILDID_SELF ? m_standard->accDoDefaultAction(child) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return connected() ? E_NOTIMPL : CO_E_OBJNOTCONNECTED; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return connected() ? E_NOTIMPL : CO_E_OBJNOTCONNECTED; }

private:
    // Without the standard object (its making failed, or the control is gone) the object answers nothing.
    bool connected() const { return m_hwnd && m_standard; }
    LONG rowCount() const { return m_list ? m_list->rowCount() : 0; }

    // S_OK for the control itself or one of its rows; a failure to hand back otherwise.
    HRESULT checkChild(const VARIANT& child) const {
        if (!connected())
            return CO_E_OBJNOTCONNECTED;
        if (child.vt != VT_I4 || child.lVal < CHILDID_SELF || child.lVal > rowCount())
            return E_INVALIDARG;
        return S_OK;
    }

    HRESULT forSelf(VARIANT child, BSTR* out, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
        *out = nullptr;
        const HRESULT check = checkChild(child);
        if (check != S_OK)
            return check;
        return child.lVal == CHILDID_SELF ? (m_standard->*get)(child, out) : S_FALSE;
    }

    // The row's box in the list's client area, cut at its edges; false when no part of the row shows.
    bool visibleRowBox(int row, RECT& box) const {
        RECT client{};
        GetClientRect(m_hwnd, &client);
        const long long top = (static_cast<long long>(row) - m_list->topRow()) * m_list->rowHeight();
        if (top >= client.bottom || top + m_list->rowHeight() <= 0)
            return false;
        box = RECT{0, static_cast<LONG>(std::max(0LL, top)), client.right,
                   static_cast<LONG>(std::min<long long>(client.bottom, top + m_list->rowHeight()))};
        return true;
    }

    LONG rowState(int row) const {
        LONG state = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
        if (row == m_list->currentRow()) {
            state |= STATE_SYSTEM_SELECTED;
            if (GetFocus() == m_hwnd)
                state |= STATE_SYSTEM_FOCUSED;
        }
        RECT box{};
        if (!visibleRowBox(row, box))
            state |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
        return state;
    }

    LONG m_references = 1;
    HWND m_hwnd = nullptr;
    ResultList* m_list = nullptr;
    IAccessible* m_standard = nullptr;
};

LRESULT AccessibleSlot::answerForList(ResultList& list, WPARAM wParam, LPARAM lParam) {
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) // as a DWORD: no sign extension
        return 0;
    if (!m_object)
        m_object = new AccessibleObject(list.hwnd(), &list);
    return answer(wParam);
}

LRESULT AccessibleSlot::answerForLabel(HWND label, WPARAM wParam, LPARAM lParam) {
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) // as a DWORD: no sign extension
        return 0;
    if (!m_object)
        m_object = new AccessibleObject(label, nullptr);
    return answer(wParam);
}

LRESULT AccessibleSlot::answer(WPARAM wParam) {
    return LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(m_object));
}

void AccessibleSlot::disconnect() {
    if (!m_object)
        return;
    m_object->disconnect();
    m_object->Release();
    m_object = nullptr;
}

} // namespace velmora
