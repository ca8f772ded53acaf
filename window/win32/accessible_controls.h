#pragma once

// What a screen reader reads in our own controls, through the system's route for a custom control: each
// control answers WM_GETOBJECT (OBJID_CLIENT) with an accessible object of its own, made on the first
// request and kept, so that every request hands out the same object.
//
// A result list is a list whose rows are simple child elements, child ids 1..rowCount: nothing is made per
// row, whatever the count. A row's name is its text as the list draws it; the current row is the selected
// one, and the focused one while the list has the focus; the list itself is named after its column
// (ResultList::accessibleName). A heading label is static text named by its caption as shown, without the
// access-key marks. What neither object answers itself (the parent, the window's place among its
// siblings, the list's own box) comes from the system's standard object for the window's client area.
//
// A client may hold an object longer than its control lives: the control disconnects it when its window
// goes, and every call then fails with CO_E_OBJNOTCONNECTED.

#include <windows.h>

namespace velmora {

class ResultList;
class AccessibleObject;

/// A control's own reference to its accessible object; disconnects and releases it when it goes.
class AccessibleSlot {
public:
    AccessibleSlot() = default;
    ~AccessibleSlot() { disconnect(); }
    AccessibleSlot(const AccessibleSlot&) = delete;
    AccessibleSlot& operator=(const AccessibleSlot&) = delete;

    /// The answer to WM_GETOBJECT for `list`: its object for OBJID_CLIENT, 0 (the system's default) for
    /// any other object id.
    LRESULT answerForList(ResultList& list, WPARAM wParam, LPARAM lParam);
    /// The same for the heading label `label`.
    LRESULT answerForLabel(HWND label, WPARAM wParam, LPARAM lParam);
    /// Cuts the object off from its control: clients that still hold it get CO_E_OBJNOTCONNECTED.
    void disconnect();

private:
    LRESULT answer(WPARAM wParam);

    AccessibleObject* m_object = nullptr;
};

} // namespace velmora
