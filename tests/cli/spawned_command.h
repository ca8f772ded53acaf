#pragma once

// velmora-search started as its own process, as a shell starts it, for what an in-process run cannot
// show: the descriptors and signals it inherits, and whether it ends at all. POSIX only.
#ifndef _WIN32

#include "tests/temp_folder.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

namespace velmora::testing_support {

/// Where the program's standard output goes.
enum class StdoutTarget {
    File,     // a file of the scratch folder, read back by out()
    DiskFull, // /dev/full: every write fails with ENOSPC
    Closed,   // descriptor 1 closed, as `>&-` does
    ReadOnly, // a file opened for reading only
    DeadPipe, // a pipe whose reader is gone, with SIGPIPE ignored in the program
};

class SpawnedCommand {
public:
    SpawnedCommand(const std::vector<std::string>& args, StdoutTarget target) {
        std::vector<std::string> words = {VELMORA_SEARCH_PROGRAM};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);

        int outFd = -1;
        switch (target) {
        case StdoutTarget::File:
            outFd = ::open(outPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            break;
        case StdoutTarget::DiskFull:
            outFd = ::open("/dev/full", O_WRONLY);
            break;
        case StdoutTarget::Closed:
            break;
        case StdoutTarget::ReadOnly:
            ::close(::open(outPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
            outFd = ::open(outPath().c_str(), O_RDONLY);
            break;
        case StdoutTarget::DeadPipe: {
            int ends[2];
            if (::pipe(ends) == 0) {
                ::close(ends[0]);
                outFd = ends[1];
            }
            break;
        }
        }
        const int errFd = ::open(errPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        m_pid = ::fork();
        if (m_pid == 0) { // only async-signal-safe calls from here to exec
            ::dup2(errFd, 2);
            if (outFd >= 0)
                ::dup2(outFd, 1);
            else
                ::close(1);
            std::signal(SIGPIPE, target == StdoutTarget::DeadPipe ? SIG_IGN : SIG_DFL);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(errFd);
        if (outFd >= 0)
            ::close(outFd);
    }

    ~SpawnedCommand() {
        if (m_pid > 0 && !m_ended) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &m_wait, 0);
        }
    }
    SpawnedCommand(const SpawnedCommand&) = delete;
    SpawnedCommand& operator=(const SpawnedCommand&) = delete;

    /// Waits up to `limit` for the program to end; false when it still runs then.
    bool waitFor(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!m_ended && m_pid > 0) {
            if (::waitpid(m_pid, &m_wait, WNOHANG) == m_pid)
                m_ended = true;
            else if (std::chrono::steady_clock::now() > deadline)
                return false;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return m_ended;
    }

    /// The exit status once ended; -1 while running, 128 + the signal's number when killed by one.
    int status() const {
        if (!m_ended)
            return -1;
        return WIFEXITED(m_wait) ? WEXITSTATUS(m_wait) : 128 + WTERMSIG(m_wait);
    }
    std::string out() const { return readFile(outPath()); }
    std::string err() const { return readFile(errPath()); }

private:
    std::filesystem::path outPath() const { return m_scratch.path() / "out.txt"; }
    std::filesystem::path errPath() const { return m_scratch.path() / "err.txt"; }

    TempFolder m_scratch{"velmora-spawned"};
    pid_t m_pid = -1;
    int m_wait = 0;
    bool m_ended = false;
};

} // namespace velmora::testing_support

#endif
