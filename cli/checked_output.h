#pragma once

#include "search/byte_sink.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

/// The first failed write to the output, with the system's reason: a full disk, a closed or read-only
/// descriptor, a pipe whose reader has gone (with SIGPIPE ignored).
class WriteError : public std::runtime_error {
public:
    explicit WriteError(const std::string& reason) : std::runtime_error(reason) {}
};

/// The output stream of velmora-search with every write checked: the first failure throws WriteError,
/// so that a listing of any length stops at once instead of writing into nothing. It writes through
/// writeText, so a console shows the text as characters.
class CheckedOutput final : public ByteSink {
public:
    explicit CheckedOutput(std::FILE* out) : m_out(out) {}

    void write(std::string_view bytes) override;
    /// A pipe whose reader has gone fails here, before the next write: on a system that tells.
    void idle() override;
    /// Hands every byte on to the system; a failure of the stream's buffered bytes shows here.
    void flush();

private:
    std::FILE* m_out;
};

/// Closes standard output at the end of the program, so that the failure of its very last write (a
/// network file system reports some only then) is not lost. Returns `status`, or the write-error status
/// after reporting on `err` when closing fails and no write error was reported yet. A descriptor that was
/// closed from the start is no failure when nothing was written to it.
int closeOutput(std::FILE* out, std::FILE* err, int status);

/// "velmora-search: write error: <reason>", in the user's language.
std::string writeErrorReport(const std::string& reason);

} // namespace velmora
