#include "SharedMemory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mlplat {

namespace {

// Bounded so that a name that keeps being unlinked under us cannot keep us looping.
constexpr int kMaxAttempts = 64;

int FlockRetry(int fd, int op) {
    int r;
    do {
        r = flock(fd, op);
    } while (r != 0 && errno == EINTR);
    return r;
}

}  // namespace

std::string CSharedBlock::SystemName(const char* name) {
    return "/memlist." + std::to_string(static_cast<unsigned long>(getuid())) + "." +
           (name ? name : "");
}

bool CSharedBlock::SameObject(int fd) const {
    // The name must still lead to the object we hold: another process may have unlinked it
    // (and a third created a new one) between our open and our flock.
    int other = shm_open(m_strSysName.c_str(), O_RDWR, 0600);
    if (other < 0)
        return false;
    struct stat a {
    }, b{};
    bool same =
        fstat(fd, &a) == 0 && fstat(other, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    close(other);
    return same;
}

CSharedBlock::OpenResult CSharedBlock::Open(const char* name, std::size_t size, bool bCreate) {
    Close();
    if (!name || !*name || std::strchr(name, '/') || size == 0)
        return kFailed;
    m_strSysName = SystemName(name);
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        bool bMadeHere = false;
        int fd = shm_open(m_strSysName.c_str(), O_RDWR, 0600);
        if (fd < 0) {
            if (errno != ENOENT)
                return kFailed;
            if (!bCreate)
                return kAbsent;
            fd = shm_open(m_strSysName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
            if (fd < 0) {
                if (errno == EEXIST)
                    continue;  // someone else made it meanwhile: attach to theirs
                return kFailed;
            }
            bMadeHere = true;
        }
        OpenResult result = kAttached;
        if (FlockRetry(fd, LOCK_EX | LOCK_NB) == 0) {
            // Nobody else is attached: the block is new, or left by processes that are gone.
            if (!SameObject(fd)) {
                close(fd);
                continue;
            }
            if (!bCreate) {
                shm_unlink(m_strSysName.c_str());
                close(fd);
                return kAbsent;
            }
            if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
                if (bMadeHere)
                    shm_unlink(m_strSysName.c_str());
                close(fd);
                return kFailed;
            }
            result = kCreated;
            // Downgrading is not atomic, which is harmless: the bytes are already zero.
            if (FlockRetry(fd, LOCK_SH) != 0) {
                close(fd);
                return kFailed;
            }
        } else {
            if (FlockRetry(fd, LOCK_SH) != 0) {
                close(fd);
                return kFailed;
            }
        }
        if (!SameObject(fd)) {
            close(fd);
            continue;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(size)) {
            // Too small to map (a foreign or damaged object): touching it would fault.
            close(fd);
            continue;
        }
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED) {
            close(fd);
            return kFailed;
        }
        m_fd = fd;
        m_pData = p;
        m_size = size;
        return result;
    }
    return kFailed;
}

void CSharedBlock::Close() {
    if (m_pData) {
        munmap(m_pData, m_size);
        m_pData = nullptr;
        m_size = 0;
    }
    if (m_fd >= 0) {
        // The last one out removes the name, as a named mapping goes with its last handle.
        if (FlockRetry(m_fd, LOCK_EX | LOCK_NB) == 0 && SameObject(m_fd))
            shm_unlink(m_strSysName.c_str());
        close(m_fd);
        m_fd = -1;
    }
}

}  // namespace mlplat
