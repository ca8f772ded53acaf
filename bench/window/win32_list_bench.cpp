// Measures the Win32 window's lists with the real window (under wine, or on Windows): how long N rows
// take to append and to show, how many bytes each row costs, the worst time of a scroll and of a repaint
// at any depth, and the process's peak memory.
//   velmora-window-bench [ROWS]      ROWS defaults to 10000000
// The rows come straight from a generator in batches of 1024, as the engines hand them on, so the figures
// are the window's alone.

#include "window/win32/result_list.h"
#include "window/win32/velm.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace velmora;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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

// Pumps what the window has queued, so that each measure starts from a quiet window.
void settle() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10'000'000;
    Velm velm(GetModuleHandleW(nullptr), systemDpi(), RowStore::kDefaultLimit,
              [rows](const SearchSetup&, SolutionSink& sink) { generate(rows, sink); });
    velm.show();
    settle();

    const auto start = Clock::now();
    velm.Command1_Click();
    const double appended = millisecondsSince(start);
    UpdateWindow(velm.hwnd());
    GdiFlush();
    const double shown = millisecondsSince(start);
    std::printf("%zu rows appended in %.0f ms, appended and shown in %.0f ms\n", rows, appended, shown);
    std::printf("row store: %.2f bytes a row for all nine lists\n",
                static_cast<double>(velm.rows().bytesAllocated()) / static_cast<double>(std::max<std::size_t>(rows, 1)));

    // Scrolls and repaints at random depths, each drawn at once; the worst of each.
    const ResultList& list = velm.list(0);
    HWND window = list.hwnd();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> depth(0, std::max(0, list.rowCount() - list.pageRows()));
    std::vector<double> scrolls;
    std::vector<double> paints;
    for (int i = 0; i < 500; ++i) {
        const int top = i == 0 ? depth.max() : depth(random);
        SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, top, 0};
        auto t = Clock::now();
        SetScrollInfo(window, SB_VERT, &info, FALSE);
        SendMessageW(window, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 0), 0);
        UpdateWindow(window);
        GdiFlush();
        scrolls.push_back(millisecondsSince(t));
        t = Clock::now();
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
        GdiFlush();
        paints.push_back(millisecondsSince(t));
    }
    std::ranges::sort(scrolls);
    std::ranges::sort(paints);
    std::printf("500 scrolls at random depths, each drawn: median %.2f ms, worst %.2f ms; repaints: median %.2f ms, "
                "worst %.2f ms\n",
                scrolls[scrolls.size() / 2], scrolls.back(), paints[paints.size() / 2], paints.back());

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("peak memory: working set %.0f MiB, committed %.0f MiB\n",
                static_cast<double>(memory.PeakWorkingSetSize) / (1 << 20),
                static_cast<double>(memory.PeakPagefileUsage) / (1 << 20));
    return 0;
}
