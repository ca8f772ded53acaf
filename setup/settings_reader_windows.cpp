// Reading the settings file on Windows: CreateFileW and ReadFile, which return what has arrived, and the
// system's own reason from FormatMessageW, in the user's language.
#include "setup/settings_reader.h"

#include "platform/wide_text.h"

#include <array>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace velmora {
namespace {


ReadOutcome failed(LoadFailure failure, DWORD error) { return {failure, windowsErrorText(error)}; }

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { CloseHandle(m_handle); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

ReadOutcome readSettingsFile(const std::filesystem::path& path, LineSplitter& splitter) {
    // Others may read and write the file meanwhile, as with the C runtime's fopen.
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return failed(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? LoadFailure::FileNotFound
                                                                                       : LoadFailure::Unreadable,
                      error);
    }
    const Handle file(handle);

    std::array<char, 64 * 1024> buffer;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            const DWORD error = GetLastError();
            if (error != ERROR_BROKEN_PIPE) // a pipe whose writer has closed it: the end of the file
                return failed(LoadFailure::Unreadable, error);
            n = 0;
        }
        if (n == 0) {
            splitter.finish();
            return {};
        }
        if (splitter.feed(std::string_view(buffer.data(), n)) != LineSplitter::State::NeedMore)
            return {};
    }
}

} // namespace velmora
