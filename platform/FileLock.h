// CFileLock: a flock on the file that a path names, for programs that share no other lock. A
// path whose last part is a symbolic link is no file to lock (kFailed).
//
// The file may be replaced by a rename while a locker waits: the lock is had only on the file
// the path still names once it is held, so every holder holds it on the same file. A file
// rewritten in place keeps its lock. Waits poll, bounded by the caller's time-out.
#pragma once

#include <cstdint>

namespace mlplat {

// Takes the flock `op` (LOCK_EX or LOCK_SH) on `fd`, polling until nTimeoutMs have passed since
// `start` (a TickMs reading). False when it is not had: errno is EWOULDBLOCK when another holder
// kept it for the whole time, else the error.
bool PollFlock(int fd, int op, std::uint64_t start, unsigned nTimeoutMs);

class CFileLock {
public:
    enum Result {
        kHeld = 0,
        kNoFile = 1,  // no file of that name: nothing to lock
        kBusy = 2,    // another holder kept it for the whole time
        kFailed = 3,  // the file could not be opened (or is not a regular file)
    };

    CFileLock() = default;
    ~CFileLock() { Unlock(); }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    Result Lock(const char* path, bool bExclusive, unsigned nTimeoutMs);
    void Unlock();
    bool IsHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace mlplat
