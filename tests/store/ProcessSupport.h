// Child processes for tests that run the store in several programs at once.
//
// A child runs a function and leaves with its result as exit status (exceptions count as
// failure) without running the parent's exit handlers. Waits are bounded: a child that
// outlives its budget is killed and reported as failed, so no test can hang on one.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <utility>
#include <string>
#include <vector>

namespace proctest {

template <class Fn>
pid_t Spawn(Fn&& fn) {
    const pid_t pid = fork();
    if (pid == 0) {
        int rc = 99;
        try {
            rc = fn();
        } catch (...) {
            rc = 98;
        }
        _exit(rc);
    }
    return pid;
}

inline void SleepUs(long us) {
    timespec ts{us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Exit status, 128 + signal for a killed child, or -1 when it had to be killed after `ms`.
inline int WaitBounded(pid_t pid, int ms) {
    for (int waited = 0;; waited += 5) {
        int st = 0;
        const pid_t r = waitpid(pid, &st, waited >= ms ? 0 : WNOHANG);
        if (r == pid)
            return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        if (r < 0)
            return -1;
        if (waited >= ms)
            continue;
        if (waited + 5 >= ms) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            return -1;
        }
        SleepUs(5000);
    }
}

// Report lines a child appends to a file, one write each, so that a line is in the file
// whole as soon as the call returns, and a child killed later loses none of what it reported.
class ReportFile {
public:
    explicit ReportFile(std::string path) : m_path(std::move(path)) {}
    bool Send(const std::string& line) const {
        const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const std::string s = line + "\n";
        const bool ok = write(fd, s.data(), s.size()) == static_cast<ssize_t>(s.size());
        close(fd);
        return ok;
    }
    // Every whole line so far.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return lines;
        std::string all;
        char buf[65536];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
            all.append(buf, static_cast<size_t>(n));
        close(fd);
        size_t start = 0;
        for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
            lines.push_back(all.substr(start, nl - start));
        return lines;
    }

private:
    std::string m_path;
};

}  // namespace proctest
