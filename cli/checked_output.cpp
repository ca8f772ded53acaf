#include "cli/checked_output.h"

#include "cli/command_line.h"

#include <cerrno>
#include <cstring>

namespace velmora {

void CheckedOutput::write(std::string_view bytes) {
    if (bytes.empty())
        return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_out) != bytes.size())
        fail();
}

void CheckedOutput::flush() {
    errno = 0;
    if (std::fflush(m_out) != 0 || std::ferror(m_out))
        fail();
}

void CheckedOutput::fail() {
    const int error = errno;
    throw WriteError(error != 0 ? std::strerror(error) : "the stream reports an error");
}

std::string writeErrorReport(const std::string& reason) { return "velmora-search: write error: " + reason; }

int closeOutput(std::FILE* out, std::FILE* err, int status) {
    errno = 0;
    const bool failed = std::ferror(out) != 0;
    if (std::fclose(out) == 0 && !failed)
        return status;
    const int error = errno;
    if (status == kExitWriteError || (!failed && error == EBADF))
        return status;
    const std::string report =
        writeErrorReport(error != 0 ? std::strerror(error) : "the stream reports an error") + "\n";
    std::fwrite(report.data(), 1, report.size(), err);
    return kExitWriteError;
}

} // namespace velmora
