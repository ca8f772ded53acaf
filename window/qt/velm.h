#pragma once

// velm, the program's one window on Linux: Qt widgets and wiring over the shared window commands
// (window/commands/window_commands.h, which tells the flow from the settings file to the rows). Showing
// the window for the first time raises Form_Load; the three buttons call Command1_Click (Start),
// Command3_Click (Reset) and Command2_Click (Quit). The nine ResultLists draw the rows of the commands'
// row store; the labels show the headings, and each list is named after its column for a screen reader.
// Each list's keys and context menu take its rows out of the window (window/qt/list_menu.h, over the
// shared RowExport).

#include "window/commands/row_export.h"
#include "window/commands/window_commands.h"

#include <QWidget>

#include <array>
#include <utility>
#include <vector>

class QPushButton;

namespace velmora {

class HeadingLabel;
class ResultList;

class Velm final : public QWidget, private WindowView, private ExportView {
    Q_OBJECT
public:
    using Search = WindowCommands::Search;

    /// `rowLimit`: the most rows the result columns hold (what the machine's memory holds, unless a test sets less).
    explicit Velm(std::size_t rowLimit = machineRowLimit(), Search search = {});

    /// Loads the settings; raised once, by the first showing of the window (or by a test before it).
    void Form_Load();
    void Command1_Click() { m_commands.Command1_Click(); }
    void Command2_Click() { m_commands.Command2_Click(); }
    void Command3_Click() { m_commands.Command3_Click(); }

    const SearchSetup& setup() const { return m_commands.setup(); }
    const ResultColumns& resultColumns() const { return m_commands.resultColumns(); }
    /// The lists' copy and save commands.
    RowExport& rowExport() { return m_export; }

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void focusAfter(int tabIndex);

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
    bool m_loaded = false;
    std::array<HeadingLabel*, ResultColumns::kListCount> m_labels{}; // Label1 .. Label9
    std::array<int, ResultColumns::kListCount> m_labelTabIndexes{};  // their places in the tab order
    std::array<ResultList*, ResultColumns::kListCount> m_lists{};    // List1 .. List9
    QPushButton* m_start = nullptr;                                   // Command1
    QPushButton* m_quit = nullptr;                                    // Command2
    QPushButton* m_reset = nullptr;                                   // Command3
    std::vector<std::pair<int, QWidget*>> m_tabOrder;                 // tab index and control, in tab order
};

} // namespace velmora
