#include "window/commands/safe_file.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmora {

namespace {

// A write that failed, with the system's reason; caught in writeFileWhole.
class FileFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#ifdef _WIN32

using Handle = HANDLE;
const Handle kNoFile = INVALID_HANDLE_VALUE;

[[noreturn]] void fail() { throw FileFailure(lastSystemErrorText()); }

// A new file of a free temporary name in `folder`; `name` receives its path.
Handle createTemporary(const std::filesystem::path& folder, std::filesystem::path& name) {
    for (unsigned attempt = 0;; ++attempt) {
        name =
            folder / (L"velmora-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp");
        const Handle file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != kNoFile)
            return file;
        if (GetLastError() != ERROR_FILE_EXISTS || attempt > 1000)
            fail();
    }
}

void writeAll(Handle file, const char* bytes, std::size_t size) {
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes, piece, &written, nullptr))
            fail();
        bytes += written;
        size -= written;
    }
}

void finish(Handle file) {
    if (!FlushFileBuffers(file))
        fail();
}

void closeFile(Handle file, bool check) {
    if (!CloseHandle(file) && check)
        fail();
}

void replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail();
}

void removeFile(const std::filesystem::path& name) { DeleteFileW(name.c_str()); }

#else

using Handle = int;
const Handle kNoFile = -1;

[[noreturn]] void fail() { throw FileFailure(lastSystemErrorText()); }

Handle createTemporary(const std::filesystem::path& folder, std::filesystem::path& name) {
    std::string pattern = (folder / ".velmora-XXXXXX").string();
    const Handle file = mkstemp(pattern.data());
    if (file < 0)
        fail();
    name = pattern;
    // mkstemp makes the file for its owner alone; a saved file gets the permissions any new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(file, 0666 & ~mask);
    return file;
}

void writeAll(Handle file, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(file, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail();
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void finish(Handle file) {
    if (fsync(file) != 0)
        fail();
}

void closeFile(Handle file, bool check) {
    if (::close(file) != 0 && check)
        fail();
}

void replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        fail();
    // The rename itself reaches the disk once the folder does.
    const int folder = ::open(to.parent_path().empty() ? "." : to.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        fsync(folder);
        ::close(folder);
    }
}

void removeFile(const std::filesystem::path& name) { ::unlink(name.c_str()); }

#endif

// Collects small writes and hands the system pieces of 1 MiB.
class FileSink final : public ByteSink {
public:
    explicit FileSink(Handle file) : m_file(file) { m_buffer.reserve(kSize); }

    void write(std::string_view bytes) override {
        if (m_buffer.size() + bytes.size() > kSize)
            flush();
        if (bytes.size() >= kSize)
            writeAll(m_file, bytes.data(), bytes.size());
        else
            m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    }
    void flush() {
        writeAll(m_file, m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }

private:
    static constexpr std::size_t kSize = std::size_t{1} << 20;
    Handle m_file;
    std::vector<char> m_buffer;
};

// The file that `target` stands for: the one a symbolic link names, so that saving replaces it and not
// the link.
std::filesystem::path resolved(const std::filesystem::path& target) {
    std::error_code error;
    if (!std::filesystem::is_symlink(target, error))
        return target;
    const std::filesystem::path real = std::filesystem::weakly_canonical(target, error);
    return error ? target : real;
}

} // namespace

std::string writeFileWhole(const std::filesystem::path& target, const std::function<void(ByteSink&)>& write) {
    const std::filesystem::path file = resolved(target);
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::filesystem::path temporary;
    Handle handle = kNoFile;
    try {
        handle = createTemporary(folder, temporary);
#ifndef _WIN32
        struct stat old {};
        if (::stat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode))
            fchmod(handle, old.st_mode & 07777);
#endif
        FileSink sink(handle);
        write(sink);
        sink.flush();
        finish(handle);
        const Handle written = handle;
        handle = kNoFile;
        closeFile(written, true);
        replace(temporary, file);
        return {};
    } catch (const FileFailure& failure) {
        if (handle != kNoFile)
            closeFile(handle, false);
        if (!temporary.empty())
            removeFile(temporary);
        return failure.what();
    } catch (...) {
        if (handle != kNoFile)
            closeFile(handle, false);
        if (!temporary.empty())
            removeFile(temporary);
        throw;
    }
}

#ifdef _WIN32
std::string lastSystemErrorText() {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring wide = length > 0 && text ? std::wstring(text, length) : L"error " + std::to_wstring(error);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
        wide.pop_back();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string reason(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), reason.data(), size, nullptr, nullptr);
    return reason;
}
#else
std::string lastSystemErrorText() { return std::strerror(errno); }
#endif

} // namespace velmora
