// Reading the settings file on POSIX systems: open(2) and read(2), which return what has arrived.
#include "setup/settings_reader.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {
namespace {

ReadOutcome failed(LoadFailure failure, int error) { return {failure, std::strerror(error)}; }

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { ::close(m_fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

ReadOutcome readSettingsFile(const std::filesystem::path& path, LineSplitter& splitter) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno == ENOENT || errno == ENOTDIR ? LoadFailure::FileNotFound : LoadFailure::Unreadable,
                      errno);
    const Descriptor file(fd);

    std::array<char, 64 * 1024> buffer;
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failed(LoadFailure::Unreadable, errno);
        }
        if (n == 0) {
            splitter.finish();
            return {};
        }
        if (splitter.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n))) !=
            LineSplitter::State::NeedMore)
            return {};
    }
}

} // namespace velmora
