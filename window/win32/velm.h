#pragma once

// velm, the program's one window on Windows: native Win32 controls and wiring over the shared window
// commands (window/commands/window_commands.h, which tells the flow from the settings file to the rows).
// The window is created hidden with its 21 controls laid out from the control table at the system's
// resolution; show() raises Form_Load before the window is first shown; the three buttons call
// Command1_Click (Start), Command3_Click (Reset) and Command2_Click (Quit). The nine ResultLists draw the
// rows of the commands' row store; the labels show the headings.
//
// The keyboard goes through run()'s message loop: Tab and Shift+Tab follow the table's tab order (the
// focusable controls stand in the z-order by tab index, the labels below them all); Alt plus a label's
// access key (its first marked character) moves the focus to the next control after the label in tab
// order; Enter and Space press a focused button, and Enter elsewhere and Escape do nothing, since no button
// is the default or the cancel button. The dialog manager gives a button that Tab reaches the
// default-button look; the button drops it as soon as it loses the focus, however the focus moves.
//
// While Start runs the window takes no input: what the user queued meanwhile is dropped, but a click on
// the close button or Alt+F4 ends the program once Start is over. Each list is named after its column for
// a screen reader: "合計", or the heading of its term, renamed with the heading. Each list's keys and
// context menu take its rows out of the window (window/win32/list_menu.h, over the shared RowExport).

#include "window/commands/control_table.h"
#include "window/commands/row_export.h"
#include "window/commands/window_commands.h"
#include "window/win32/dpi_fonts.h"
#include "window/win32/window_class.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string_view>

namespace velmora {

class ListMenu;
class ResultList;

class Velm final : private WindowView, private ExportView, private WindowOwner {
public:
    using Search = WindowCommands::Search;

    /// Creates the window, hidden, laid out at `dpi` dots per inch. `rowLimit`: the most rows the result
    /// columns hold (what the machine's memory holds, unless a test sets less).
    explicit Velm(HINSTANCE instance, int dpi = systemDpi(), std::size_t rowLimit = machineRowLimit(),
                  Search search = {});
    ~Velm() override;
    Velm(const Velm&) = delete;
    Velm& operator=(const Velm&) = delete;

    /// Loads the settings; raised once, by the first showing of the window (or by a test before it).
    void Form_Load();
    void Command1_Click() { m_commands.Command1_Click(); }
    void Command2_Click() { m_commands.Command2_Click(); }
    void Command3_Click() { m_commands.Command3_Click(); }

    /// Shows the window (`showCommand` as wWinMain was given it), after Form_Load the first time.
    void show(int showCommand = SW_SHOWNORMAL);
    /// The message loop, until the window is gone; returns the program's exit code.
    int run();
    /// The window's own handling of a keyboard message before it is dispatched: true when it took it.
    bool preTranslate(MSG& message);

    using WindowOwner::hwnd;
    /// The control named `name` in the control table, or null.
    HWND control(std::string_view name) const;
    /// List1 .. List9: `column` 0 .. 8.
    const ResultList& list(int column) const { return *m_lists.at(static_cast<std::size_t>(column)); }
    const RowStore& rows() const { return m_commands.rows(); }
    const SearchSetup& setup() const { return m_commands.setup(); }
    /// The lists' copy and save commands.
    RowExport& rowExport() { return m_export; }

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void createControls(HINSTANCE instance);
    HWND createButton(HINSTANCE instance, const ControlSpec& spec, const RECT& box, int id);
    bool focusAfterAccessKey(wchar_t key);

    // WindowView
    bool setHeading(int term, const std::string& text) override;
    void showMessage(const std::string& text, const std::string& detail) override;
    void setBusy(bool busy) override;
    bool discardQueuedInput() override;
    void rowsChanged() override;
    void quit() override;
    // ExportView (the rest it shares with WindowView)
    std::string putOnClipboard(const ClipboardText& text) override;
    std::optional<std::filesystem::path> askSavePath() override;

    WindowCommands m_commands;
    RowExport m_export{*this, m_commands};
    int m_dpi = 96;
    Font m_defaultFont;
    Font m_label1Font;
    std::array<HWND, kControls.size()> m_controls{}; // in the control table's order
    std::array<std::unique_ptr<ResultList>, ResultColumns::kListCount> m_lists;
    std::unique_ptr<ListMenu> m_listMenu;
    HWND m_focus = nullptr;    // the control that had the focus when the window was last deactivated
    bool m_loaded = false;
    bool m_busy = false;
    bool m_endsProgram = true; // destroying the window ends the message loop, unless the holder destroys it
};

} // namespace velmora
