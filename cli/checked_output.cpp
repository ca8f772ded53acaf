#include "cli/checked_output.h"

#include "cli/command_line.h"
#include "cli/messages.h"
#include "cli/text_output.h"

#include <cerrno>

#if !defined(_WIN32)
#include <poll.h>
#include <sys/stat.h>
#endif

namespace velmora {

void CheckedOutput::write(std::string_view bytes) {
    if (auto failure = writeText(m_out, bytes))
        throw WriteError(*failure);
}

void CheckedOutput::idle() {
#if !defined(_WIN32)
    // The write end of a pipe polls as an error once no reader is left.
    struct stat info {};
    const int fd = fileno(m_out);
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode))
        return;
    pollfd out{fd, POLLOUT, 0};
    if (poll(&out, 1, 0) == 1 && (out.revents & POLLERR))
        throw WriteError(systemReason(EPIPE));
#endif
}

void CheckedOutput::flush() {
    if (auto failure = flushText(m_out))
        throw WriteError(*failure);
}

std::string writeErrorReport(const std::string& reason) {
    return "velmora-search: " + tr("write error: %s", {reason});
}

int closeOutput(std::FILE* out, std::FILE* err, int status) {
    errno = 0;
    const bool failed = std::ferror(out) != 0;
    if (std::fclose(out) == 0 && !failed)
        return status;
    const int error = errno;
    if (status == kExitWriteError || (!failed && error == EBADF))
        return status;
    writeText(err, writeErrorReport(error != 0 ? systemReason(error) : tr("the stream reports an error")) + "\n");
    return kExitWriteError;
}

} // namespace velmora
