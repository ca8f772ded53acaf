// Measures the rows leaving the Win32 window (under wine, or on Windows), through the real window and its
// commands: every row copied to the clipboard as CF_UNICODETEXT (time; working set before, the process's
// peak after, and after), and every row saved as CSV (time, bytes a second, the peak after).
//   velmora-export-bench [COPY_ROWS] [SAVE_ROWS] [FOLDER]
// COPY_ROWS defaults to 1000000, SAVE_ROWS to 100000000, FOLDER (where the CSV goes, then removed) to the
// system's temporary folder. Run it from a folder with a settings file: the window loads it first.

#include "window/commands/row_export.h"
#include "window/win32/velm.h"

#include <windows.h>
#include <psapi.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <algorithm>

using namespace velmora;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Memory {
    double now;  // working set, MiB
    double peak; // the process's peak working set so far, MiB
};

Memory memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return {static_cast<double>(counters.WorkingSetSize) / (1 << 20),
            static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20)};
}

void generate(std::size_t rows, SolutionSink& sink) {
    std::array<Solution, 1024> batch{};
    for (std::size_t done = 0; done < rows;) {
        const std::size_t n = std::min(batch.size(), rows - done);
        for (std::size_t i = 0; i < n; ++i) {
            batch[i].sum = 1500;
            for (std::size_t k = 0; k < 8; ++k)
                batch[i].values[k] = static_cast<std::int16_t>(((done + i) >> (2 * k)) & 3);
        }
        sink.accept(std::span(batch.data(), n));
        done += n;
    }
}

void settle() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

void fill(Velm& velm, std::size_t& rowsToMake, std::size_t rows) {
    velm.Command3_Click();
    rowsToMake = rows;
    const auto start = Clock::now();
    velm.Command1_Click();
    settle();
    std::printf("%zu rows in the window (%.1f s), working set %.0f MiB\n", rows, secondsSince(start), memory().now);
}

std::size_t clipboardCharacters(HWND owner) {
    std::size_t characters = 0;
    if (!OpenClipboard(owner))
        return 0;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
        characters = GlobalSize(data) / sizeof(wchar_t) - 1;
    CloseClipboard();
    return characters;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t copyRows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const std::size_t saveRows = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100'000'000;
    const std::filesystem::path folder = argc > 3 ? std::filesystem::path(argv[3]) : std::filesystem::temp_directory_path();
    std::size_t rowsToMake = 0;
    Velm velm(GetModuleHandleW(nullptr), systemDpi(), RowStore::kDefaultLimit,
              [&rowsToMake](const SearchSetup&, SolutionSink& sink) { generate(rowsToMake, sink); });
    velm.show();
    settle();
    std::printf("the window shown: working set %.0f MiB\n", memory().now);

    fill(velm, rowsToMake, copyRows);
    const Memory before = memory();
    auto start = Clock::now();
    velm.rowExport().copyAllRows();
    const double copied = secondsSince(start);
    const Memory after = memory();
    std::printf("copy all: %.3f s for %zu characters; working set %.0f MiB before (peak so far %.0f MiB), peak %.0f "
                "MiB, %.0f MiB after\n",
                copied, clipboardCharacters(velm.hwnd()), before.now, before.peak, after.peak, after.now);

    // The same text widened into memory of its own, without the clipboard: what the copy costs before the
    // system takes it.
    start = Clock::now();
    const ClipboardText text = ClipboardText::allRows(velm.setup(), velm.rows());
    std::wstring wide(text.head().size() + text.rowsLength(), L'\0');
    wchar_t* out = wide.data();
    text.writeRows([&](std::string_view piece) { out = std::copy(piece.begin(), piece.end(), out); });
    std::printf("the text alone, built without the clipboard: %.3f s\n", secondsSince(start));
    wide = {};

    if (saveRows > 0) {
        fill(velm, rowsToMake, saveRows);
        const std::filesystem::path file = folder / "velmora-export-bench.csv";
        const double was = memory().now;
        start = Clock::now();
        const std::string reason = saveCsvFile(file, velm.setup(), velm.rows());
        const double seconds = secondsSince(start);
        std::error_code error;
        const double bytes = static_cast<double>(std::filesystem::file_size(file, error));
        std::printf("save as CSV: %.1f s, %.0f MB (%.0f MB/s)%s%s; working set %.0f MiB before, peak %.0f MiB\n",
                    seconds, bytes / 1e6, bytes / 1e6 / seconds, reason.empty() ? "" : ", failed: ", reason.c_str(),
                    was, memory().peak);
        std::filesystem::remove(file, error);
    }
    return 0;
}
