#pragma once

// velm, the program's one window. Showing it for the first time raises Form_Load, which runs the
// settings loader over the window's SearchSetup: the loader reads text-2x.ini from the current
// directory and hands each heading to Label2..Label9; a failed load shows its message before the window
// appears, and the window then shows with whatever the loader left in force. Start (Command1) runs the
// combination search over the setup under the busy pointer, with the result columns as its sink: every
// solution becomes a row across List1..List9, stored once in the columns' row store, and the lists draw
// the rows in view when the search is over. Reset (Command3) empties the lists; Quit (Command2) and
// closing the window end the program. A run-time error in Start or Reset (the search's overflow, or the
// row store full) is reported in a message box; the rows found before it stay and the program goes on.
//
// The window holds no arithmetic and no parsing: each handler is one call of the core.

#include "search/combination_search.h"
#include "setup/search_setup.h"
#include "window/result_columns.h"

#include <QWidget>

#include <array>
#include <functional>

class QPushButton;

namespace velmora {

class HeadingLabel;
class ResultList;
class RunTimeError;

class Velm final : public QWidget {
    Q_OBJECT
public:
    /// How Start searches; combinationSearch unless a test stands in its own.
    using Search = std::function<void(const SearchSetup&, SolutionSink&)>;

    /// `rowLimit`: the most rows the result columns hold (RowStore::kDefaultLimit unless a test sets less).
    explicit Velm(std::size_t rowLimit = RowStore::kDefaultLimit, Search search = {});

    /// Loads the settings; raised once, by the first showing of the window.
    void Form_Load();
    /// Start: appends one row per solution of the search over the setup.
    void Command1_Click();
    /// Quit: ends the program at once.
    void Command2_Click();
    /// Reset: empties the nine lists.
    void Command3_Click();

    const SearchSetup& setup() const { return m_setup; }
    const ResultColumns& resultColumns() const { return m_columns; }

    void setVisible(bool visible) override;

private:
    void createControls();
    void showMessage(const QString& text, const QString& detail = {});
    void reportError(const RunTimeError& error);

    SearchSetup m_setup;
    ResultColumns m_columns;
    Search m_search;
    bool m_loaded = false;
    std::array<HeadingLabel*, ResultColumns::kListCount> m_labels{}; // Label1 .. Label9
    std::array<ResultList*, ResultColumns::kListCount> m_lists{};    // List1 .. List9
    QPushButton* m_start = nullptr;                                   // Command1
    QPushButton* m_quit = nullptr;                                    // Command2
    QPushButton* m_reset = nullptr;                                   // Command3
};

} // namespace velmora
