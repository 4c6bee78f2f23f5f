#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#include "Clock.h"
#include "Vfs.h"

namespace mlplat {

namespace {

// Opens for locking only: a file we may only write (or only read) is locked all the same. The
// path's last part is never followed: the caller gives the file itself, not a link to it.
int OpenForLock(const char* path) {
    const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW;
    int fd = Vfs().open(path, O_RDONLY | flags, 0);
    if (fd < 0 && errno == EACCES)
        fd = Vfs().open(path, O_WRONLY | flags, 0);
    return fd;
}

}  // namespace

bool PollFlock(int fd, int op, std::uint64_t start, unsigned nTimeoutMs) {
    for (;;) {
        if (Vfs().flock(fd, op | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK || TickMs() - start >= nTimeoutMs)
            return false;
        SleepMs(1);
    }
}

CFileLock::Result CFileLock::Lock(const char* path, bool bExclusive, unsigned nTimeoutMs) {
    Unlock();
    if (!path || !*path)
        return kFailed;
    const std::uint64_t start = TickMs();
    for (;;) {
        const int fd = OpenForLock(path);
        if (fd < 0)
            return errno == ENOENT ? kNoFile : kFailed;
        struct stat held {};
        if (Vfs().fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            Vfs().close(fd);
            return kFailed;
        }
        if (!PollFlock(fd, bExclusive ? LOCK_EX : LOCK_SH, start, nTimeoutMs)) {
            const bool bBusy = errno == EWOULDBLOCK;
            Vfs().close(fd);
            return bBusy ? kBusy : kFailed;
        }
        // Replaced while we waited: the holder we waited for renamed a new file over it.
        struct stat now {};
        const bool bNamed = ::stat(path, &now) == 0;
        if (bNamed && now.st_ino == held.st_ino && now.st_dev == held.st_dev) {
            m_fd = fd;
            return kHeld;
        }
        const bool bGone = !bNamed && errno == ENOENT;
        Vfs().close(fd);
        if (bGone)
            return kNoFile;
        if (TickMs() - start >= nTimeoutMs)
            return kBusy;
    }
}

void CFileLock::Unlock() {
    if (m_fd >= 0)
        Vfs().close(m_fd);
    m_fd = -1;
}

}  // namespace mlplat
