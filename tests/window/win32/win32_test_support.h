#pragma once

// What the Win32 window's tests share: the program's instance, the focused control's name, keyboard
// messages as the message loop hands them over, the message queue pumped for a while, and a current folder
// with a settings file.

#include "window/win32/velm.h"

#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace velmora::testing_support {

inline HINSTANCE instance() { return GetModuleHandleW(nullptr); }

inline std::string nameOfFocus(const Velm& velm) {
    for (const ControlSpec& spec : kControls)
        if (velm.control(spec.name) == GetFocus())
            return std::string(spec.name);
    return "(none)";
}

inline MSG keyMessage(UINT message, WPARAM key) { return MSG{GetFocus(), message, key, 0, 0, {}}; }

/// Handles the thread's messages for `milliseconds`, timers included.
inline void pumpMessages(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
}

/// A stand-in search that hands ten million rows, far beyond the 16 bits a scroll message carries: row r
/// holds r % 10000 as term 1 and r / 10000 as term 2.
inline constexpr int kTenMillionRows = 10'000'000;
inline void searchTenMillionRows(const SearchSetup&, SolutionSink& sink) {
    std::vector<Solution> batch(1 << 16);
    for (int first = 0; first < kTenMillionRows; first += static_cast<int>(batch.size())) {
        const int count = std::min<int>(static_cast<int>(batch.size()), kTenMillionRows - first);
        for (int i = 0; i < count; ++i) {
            batch[static_cast<std::size_t>(i)].values[0] = static_cast<std::int16_t>((first + i) % 10000);
            batch[static_cast<std::size_t>(i)].values[1] = static_cast<std::int16_t>((first + i) / 10000);
        }
        sink.accept(std::span(batch.data(), static_cast<std::size_t>(count)));
    }
}

/// A folder with a settings file, the current folder for the test: target 3 over weights 1..8 and ranges
/// 0..1 has two solutions, terms 1 and 2 (1 + 2), then term 3 alone. Term 1's heading carries an access key.
class VelmWithSettings : public ::testing::Test {
protected:
    VelmWithSettings() {
        static constexpr std::string_view headings[8] = {"&Apple", "b", "c", "d", "e", "f", "g", "h"};
        writeFile(m_folder.path() / "text-2x.ini", settingsBytes("3", headings));
    }

    TempFolder m_folder{"velm-win32"};
    CurrentDirectory m_current{m_folder.path()};
};

} // namespace velmora::testing_support
