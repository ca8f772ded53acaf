#pragma once

// Helpers for tests that put files into folders with Japanese names: paths are built from UTF-8, files
// are written through the wide API on Windows, so that no ANSI code page stands between the test and
// the file system.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace velmora::testing_support {

inline std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline std::FILE* openFile(const std::filesystem::path& path, bool write) {
#ifdef _WIN32
    return _wfopen(path.c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::FILE* file = openFile(path, true);
    ASSERT_NE(file, nullptr) << utf8FromPath(path);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
}

inline std::string readFile(const std::filesystem::path& path) {
    std::string bytes;
    std::FILE* file = openFile(path, false);
    if (!file)
        return bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

/// A fresh folder under the system's temporary folder, named `name` plus a random suffix, removed with
/// everything in it at the end of the test.
class TempFolder {
public:
    explicit TempFolder(std::string_view name) {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 pathFromUtf8(std::string(name) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

/// Makes `folder` the current directory for its lifetime; the previous one comes back at the end.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& folder) : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
    }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::filesystem::path m_previous;
};

/// A settings file of 33 lines ending in CR LF, its headings given as code page 932 bytes.
inline std::string settingsBytes(std::string_view target, const std::string_view (&headings)[8]) {
    std::string bytes = std::string(target) + "\r\n";
    for (std::string_view heading : headings)
        bytes += std::string(heading) + "\r\n";
    for (int k = 1; k <= 8; ++k)
        bytes += std::to_string(k) + "\r\n"; // weights 1..8
    for (int k = 1; k <= 8; ++k)
        bytes += "0\r\n1\r\n"; // each term ranges over 0..1
    return bytes;
}

} // namespace velmora::testing_support
