#include "SharedMemory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "FileSystem.h"
#include "Vfs.h"

namespace mlplat {

namespace {

// Bounded so that a name that keeps being unlinked under us cannot keep us looping.
constexpr int kMaxAttempts = 64;

std::uint64_t Fnv1a64(std::string_view s) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// One open byte-range lock (owned by the open file description, not the process) on `offset`.
int SetByteLock(int fd, std::size_t offset, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = 1;
    int r;
    do {
        r = fcntl(fd, F_OFD_SETLK, &fl);
    } while (r != 0 && errno == EINTR);
    return r;
}

}  // namespace

std::string CSharedBlock::SystemName(const char* name, const char* space) {
    std::string s = std::string(space ? space : "") + "." +
                    std::to_string(static_cast<unsigned long>(getuid())) + "." + (name ? name : "");
    // The name is a file of the shared-memory file system; past NAME_MAX the open would fail.
    if (s.size() > NAME_MAX) {
        char tail[18];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(Fnv1a64(s)));
        s.resize(NAME_MAX - (sizeof tail - 1));
        s += tail;
    }
    return "/" + s;
}

bool CSharedBlock::IsInherited() const {
    return m_fd >= 0 && m_nOpener != ProcessId();
}

bool CSharedBlock::TryLockByte(std::size_t offset) {
    if (m_fd < 0 || IsInherited() || offset >= m_size)
        return false;
    return SetByteLock(m_fd, offset, F_WRLCK) == 0;
}

void CSharedBlock::UnlockByte(std::size_t offset) {
    if (m_fd < 0 || IsInherited() || offset >= m_size)
        return;
    SetByteLock(m_fd, offset, F_UNLCK);
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
    m_strSysName = SystemName(name, m_strSpace.c_str());
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
        if (Vfs().flock(fd, LOCK_EX | LOCK_NB) == 0) {
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
            if (Vfs().flock(fd, LOCK_SH) != 0) {
                close(fd);
                return kFailed;
            }
        } else {
            if (Vfs().flock(fd, LOCK_SH) != 0) {
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
        m_nOpener = ProcessId();
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
        // The last one out removes the name, as a named mapping goes with its last handle. A
        // copy made by fork shares the flock with its parent: converting it would convert the
        // parent's too.
        if (!IsInherited() && Vfs().flock(m_fd, LOCK_EX | LOCK_NB) == 0 && SameObject(m_fd))
            shm_unlink(m_strSysName.c_str());
        close(m_fd);
        m_fd = -1;
    }
}

}  // namespace mlplat
