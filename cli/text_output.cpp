#include "cli/text_output.h"

#include "cli/messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "platform/wide_text.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>
#include <stdlib.h>
#endif

namespace velmora {
namespace {

std::string streamReason(int error) {
    return error != 0 ? systemReason(error) : tr("the stream reports an error");
}

#ifdef _WIN32

// The console behind `stream`, or nullptr when it goes to a file, a pipe or nowhere.
HANDLE consoleOf(std::FILE* stream) {
    const int fd = _fileno(stream);
    if (fd < 0)
        return nullptr;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

// Writes through WriteConsoleW in pieces the console takes at once, never splitting a surrogate pair.
std::optional<std::string> writeConsole(HANDLE console, std::string_view text) {
    constexpr std::size_t kPiece = 8192;
    const std::wstring wide = wideFromUtf8(text);
    std::size_t done = 0;
    while (done < wide.size()) {
        std::size_t n = std::min(kPiece, wide.size() - done);
        if (done + n < wide.size() && IS_HIGH_SURROGATE(wide[done + n - 1]))
            --n;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(n), &written, nullptr))
            return windowsErrorText(GetLastError());
        if (written == 0)
            return windowsErrorText(ERROR_WRITE_FAULT);
        done += written;
    }
    return std::nullopt;
}

#endif

} // namespace

std::string systemReason(int error) {
#ifdef _WIN32
    // The C runtime's own texts are English only; the system's are in the user's language. A failed
    // WriteFile leaves its code in _doserrno, a short write to a full disk only ENOSPC.
    if (_doserrno != 0)
        return windowsErrorText(_doserrno);
    if (error == ENOSPC)
        return windowsErrorText(ERROR_DISK_FULL);
#endif
    return std::strerror(error);
}

std::optional<std::string> writeText(std::FILE* stream, std::string_view text) {
    if (text.empty())
        return std::nullopt;
#ifdef _WIN32
    _doserrno = 0;
    if (HANDLE console = consoleOf(stream)) {
        if (auto failure = flushText(stream)) // anything written to the stream by other means comes first
            return failure;
        return writeConsole(console, text);
    }
#endif
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size())
        return streamReason(errno);
    return std::nullopt;
}

std::optional<std::string> flushText(std::FILE* stream) {
#ifdef _WIN32
    _doserrno = 0;
#endif
    errno = 0;
    if (std::fflush(stream) != 0 || std::ferror(stream))
        return streamReason(errno);
    return std::nullopt;
}

} // namespace velmora
