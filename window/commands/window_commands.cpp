#include "window/commands/window_commands.h"

#include "search/run_time_error.h"
#include "setup/settings_file.h"

#include <new>
#include <optional>

namespace velmora {

namespace {

void searchWithTheDefaultEngine(const SearchSetup& setup, SolutionSink& sink) { combinationSearch(setup, sink); }

} // namespace

WindowCommands::WindowCommands(WindowView& view, std::size_t rowLimit, Search search)
    : m_view(view), m_columns(rowLimit), m_search(search ? std::move(search) : Search(searchWithTheDefaultEngine)) {}

void WindowCommands::Form_Load() {
    const LoadResult result = SettingsFile::load(
        m_setup, [this](int term, const std::string& heading) { return m_view.setHeading(term, heading); });
    if (!result.ok())
        m_view.showMessage(std::string(SettingsFile::kFailureMessage), result.cause());
}

void WindowCommands::Command1_Click() {
    m_view.setBusy(true);
    std::optional<RunTimeError> error;
    try {
        m_search(m_setup, m_columns);
    } catch (const RunTimeError& e) {
        error = e;
    } catch (const std::bad_alloc&) {
        error = RunTimeError::outOfMemory();
    }
    m_view.rowsChanged();
    const bool closeRequested = m_view.discardQueuedInput();
    m_view.setBusy(false);
    if (error)
        reportError(*error);
    if (closeRequested)
        m_view.quit();
}

void WindowCommands::Command2_Click() { m_view.quit(); }

void WindowCommands::Command3_Click() {
    try {
        m_columns.clear();
    } catch (const RunTimeError& e) {
        m_view.rowsChanged();
        reportError(e);
        return;
    }
    m_view.rowsChanged();
}

void WindowCommands::reportError(const RunTimeError& error) { m_view.showMessage(error.report(), {}); }

} // namespace velmora
