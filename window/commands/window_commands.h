#pragma once

// The window's commands, written once for every window. The window creates a WindowCommands over itself
// (as a WindowView) before it is first shown and calls Form_Load: the settings loader reads text-2x.ini
// from the current directory into the SearchSetup and hands each heading to the view's label; a failed
// load shows the fixed message with its cause beneath, and the window then shows with whatever the loader
// left in force. Command1_Click (Start) runs the search over the setup under the busy pointer, with the
// result columns as its sink: every solution becomes a row of the row store, which the view's nine lists
// draw. Command3_Click (Reset) empties the rows; Command2_Click (Quit) ends the program. A run-time error
// in Start or Reset (the search's overflow, or the row store full) is reported in a message box, under the
// default pointer since the program then waits for the user; the rows found before it stay and the
// program goes on. Keys and clicks the user queued while Start ran are dropped, but a request to close the
// window is kept and ends the program, as Quit does, once Start is over.
//
// Nothing here includes a toolkit header: each window is widgets and wiring over these calls.

#include "search/combination_search.h"
#include "setup/search_setup.h"
#include "window/commands/result_columns.h"
#include "window/commands/row_limit.h"

#include <functional>
#include <string>

namespace velmora {

class RunTimeError;

/// What the commands ask of a window; each window implements it with its own widgets.
class WindowView {
public:
    virtual ~WindowView() = default;

    /// Shows `text` (UTF-8, exactly as loaded) as the caption of term `term`'s label (1..8: Label2..Label9).
    /// Returns false when the label could not take it; the load then fails at that heading.
    virtual bool setHeading(int term, const std::string& text) = 0;
    /// A modal message box titled "velmora", one OK button and no icon, `detail` (when not empty) beneath
    /// `text`. Returns once the user has dismissed it.
    virtual void showMessage(const std::string& text, const std::string& detail) = 0;
    /// The program's pointer: busy (the hourglass) or back to default. Turning it busy also lets the
    /// window system show it before a command holds the thread.
    virtual void setBusy(bool busy) = 0;
    /// Drops the input the user queued while a command held the thread; returns true when it held a
    /// request to close the window (its close button, Alt+F4, the window system's close command).
    virtual bool discardQueuedInput() = 0;
    /// The row store gained or lost rows: the nine lists take in its new row count.
    virtual void rowsChanged() = 0;
    /// Ends the program at once.
    virtual void quit() = 0;
};

/// The commands behind the window: the settings load and the three buttons, over the window's
/// SearchSetup and result columns, which they own for the window's whole life.
class WindowCommands {
public:
    /// How Start searches; combinationSearch unless a test stands in its own.
    using Search = std::function<void(const SearchSetup&, SolutionSink&)>;

    /// `rowLimit`: the most rows the result columns hold; by default what this machine's memory holds.
    explicit WindowCommands(WindowView& view, std::size_t rowLimit = machineRowLimit(), Search search = {});

    /// Loads the settings; the window calls it once, before it is first shown.
    void Form_Load();
    /// Start: appends one row per solution of the search over the setup.
    void Command1_Click();
    /// Quit: ends the program at once.
    void Command2_Click();
    /// Reset: empties the nine lists.
    void Command3_Click();

    const SearchSetup& setup() const { return m_setup; }
    const ResultColumns& resultColumns() const { return m_columns; }
    const RowStore& rows() const { return m_columns.store(); }

private:
    void reportError(const RunTimeError& error);

    WindowView& m_view;
    SearchSetup m_setup;
    ResultColumns m_columns;
    Search m_search;
};

} // namespace velmora
