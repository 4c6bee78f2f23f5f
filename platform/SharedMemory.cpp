#include "SharedMemory.h"

#include <dirent.h>
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
// This user's blocks a sweep looks at, at most.
constexpr int kMaxSweepLooks = 1024;

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

// Where the system keeps the named blocks (shm_open's directory).
constexpr char kShmDir[] = "/dev/shm";

// A block is used only when it is a regular file of this user that nobody else may open.
bool OwnedAlone(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// Backs the first `size` bytes with pages now: on a full file system a page first touched
// through the mapping would raise SIGBUS instead of an error.
bool ReservePages(int fd, std::size_t size) {
    int r;
    do {
        r = posix_fallocate(fd, 0, static_cast<off_t>(size));
    } while (r == EINTR);
    return r == 0;
}

// "space.uid." of this user's blocks in `space`.
std::string UserPrefix(const char* space) {
    return std::string(space ? space : "") + "." +
           std::to_string(static_cast<unsigned long>(getuid())) + ".";
}

// Whether the name still leads to the object open as `fd`: another process may have unlinked
// it (and a third created a new one) between our open and our flock.
bool NameLeadsTo(const std::string& strSysName, int fd) {
    int other = shm_open(strSysName.c_str(), O_RDWR, 0600);
    if (other < 0)
        return false;
    struct stat a {
    }, b{};
    bool same =
        fstat(fd, &a) == 0 && fstat(other, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    close(other);
    return same;
}

// What one step of an open came to: go on with `fd`, try the name again from the start, or
// end with `result`.
struct Attempt {
    enum Next { kGoOn, kAgain, kEnd } next;
    int fd;
    CSharedBlock::OpenResult result;
};

Attempt GoOn(int fd, CSharedBlock::OpenResult result) {
    return {Attempt::kGoOn, fd, result};
}

Attempt Again(int fd) {
    if (fd >= 0)
        close(fd);
    return {Attempt::kAgain, -1, CSharedBlock::kFailed};
}

Attempt End(CSharedBlock::OpenResult result, int fd = -1) {
    if (fd >= 0)
        close(fd);
    return {Attempt::kEnd, -1, result};
}

// The object of that name, made when it is missing and bCreate; used only when it is this
// user's alone.
Attempt OpenByName(const std::string& strSysName, bool bCreate) {
    int fd = shm_open(strSysName.c_str(), O_RDWR, 0600);
    if (fd < 0) {
        if (errno != ENOENT)
            return End(CSharedBlock::kFailed);
        if (!bCreate)
            return End(CSharedBlock::kAbsent);
        fd = shm_open(strSysName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd < 0) {
            // Someone else made it meanwhile: attach to theirs.
            return errno == EEXIST ? Again(-1) : End(CSharedBlock::kFailed);
        }
        // The umask must not leave it unwritable for our own later opens.
        if (fchmod(fd, 0600) != 0) {
            shm_unlink(strSysName.c_str());
            return End(CSharedBlock::kFailed, fd);
        }
    }
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return End(CSharedBlock::kFailed, fd);
    if (!OwnedAlone(st))
        return End(CSharedBlock::kRefused, fd);
    return GoOn(fd, CSharedBlock::kAttached);
}

// Attaches with a shared flock. A block nobody else is attached to is new, or left by
// processes that are gone: it is made anew (kCreated), or unlinked without bCreate.
Attempt Attach(const std::string& strSysName, int fd, std::size_t size, bool bCreate) {
    if (Vfs().flock(fd, LOCK_EX | LOCK_NB) != 0)
        return Vfs().flock(fd, LOCK_SH) == 0 ? GoOn(fd, CSharedBlock::kAttached)
                                             : End(CSharedBlock::kFailed, fd);
    if (!NameLeadsTo(strSysName, fd))
        return Again(fd);
    if (!bCreate) {
        shm_unlink(strSysName.c_str());
        return End(CSharedBlock::kAbsent, fd);
    }
    if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0 ||
        !ReservePages(fd, size)) {
        // Held alone: nobody loses it, and nobody is left with pages it cannot touch.
        shm_unlink(strSysName.c_str());
        return End(CSharedBlock::kFailed, fd);
    }
    // Downgrading is not atomic, which is harmless: the bytes are already zero.
    if (Vfs().flock(fd, LOCK_SH) != 0)
        return End(CSharedBlock::kFailed, fd);
    return GoOn(fd, CSharedBlock::kCreated);
}

// The last looks before mapping the attached block: its name still leads to it, it is large
// enough, and its pages are backed.
Attempt Verify(const std::string& strSysName, int fd, std::size_t size,
               CSharedBlock::OpenResult result) {
    struct stat st {};
    if (!NameLeadsTo(strSysName, fd))
        return Again(fd);
    if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(size)) {
        // Too small to map (a foreign or damaged object): touching it would fault.
        return Again(fd);
    }
    // Its maker may have left pages unbacked (made before pages were reserved, or by a
    // program that only sized it): they are had now, or the block is not used.
    if (result == CSharedBlock::kAttached && !ReservePages(fd, size))
        return End(CSharedBlock::kFailed, fd);
    return GoOn(fd, result);
}

}  // namespace

std::string CSharedBlock::SystemName(const char* name, const char* space) {
    std::string s = UserPrefix(space) + (name ? name : "");
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
    return NameLeadsTo(m_strSysName, fd);
}

CSharedBlock::OpenResult CSharedBlock::Open(const char* name, std::size_t size, bool bCreate) {
    Close();
    if (!name || !*name || std::strchr(name, '/') || size == 0)
        return kFailed;
    m_strSysName = SystemName(name, m_strSpace.c_str());
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        Attempt a = OpenByName(m_strSysName, bCreate);
        if (a.next == Attempt::kGoOn)
            a = Attach(m_strSysName, a.fd, size, bCreate);
        if (a.next == Attempt::kGoOn)
            a = Verify(m_strSysName, a.fd, size, a.result);
        if (a.next == Attempt::kAgain)
            continue;
        if (a.next == Attempt::kEnd)
            return a.result;
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, a.fd, 0);
        if (p == MAP_FAILED) {
            close(a.fd);
            return kFailed;
        }
        m_fd = a.fd;
        m_nOpener = ProcessId();
        m_pData = p;
        m_size = size;
        return a.result;
    }
    return kFailed;
}

bool CSharedBlock::StillNamed() const {
    // Blocks are only ever unlinked, never renamed: one that has a link still has its name.
    struct stat st {};
    return m_fd >= 0 && fstat(m_fd, &st) == 0 && st.st_nlink > 0;
}

int CSharedBlock::SweepAbandoned(int nMax) {
    DIR* dir = opendir(kShmDir);
    if (!dir)
        return 0;
    const std::string uid = UserPrefix("");  // ".uid."
    const std::string_view space(kDefaultSpace);
    const int dfd = dirfd(dir);
    int nRemoved = 0;
    // Bounded, so that a directory crowded with this user's live blocks costs an open little.
    int nBudget = kMaxSweepLooks;
    while (nRemoved < nMax && nBudget > 0) {
        const dirent* d = readdir(dir);
        if (!d)
            break;
        const std::string_view n(d->d_name);
        const std::size_t dot = n.find('.');
        // "memlist", or a space made from it ("memlist-..."), then this user's id.
        if (dot == std::string_view::npos || n.substr(0, space.size()) != space ||
            (dot != space.size() && n[space.size()] != '-') || n.substr(dot, uid.size()) != uid)
            continue;
        --nBudget;
        struct stat st {};
        if (fstatat(dfd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid())
            continue;
        const int fd = openat(dfd, d->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {
        }, now{};
        // Every attached object holds a shared flock: the exclusive one is had only when
        // nobody is attached, and an opener that meets it waits, then finds the name gone.
        if (Vfs().flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 &&
            fstatat(dfd, d->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && held.st_ino == now.st_ino &&
            held.st_dev == now.st_dev && unlinkat(dfd, d->d_name, 0) == 0)
            ++nRemoved;
        close(fd);
    }
    closedir(dir);
    return nRemoved;
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
