#include "FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <functional>
#include <vector>

#include "File.h"
#include "Vfs.h"

namespace mlplat {

bool PathExists(const char* path) {
    struct stat st;
    return path && *path && ::stat(path, &st) == 0;
}

bool IsDirectory(const char* path) {
    struct stat st;
    return path && *path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const char* path) {
    return path && *path && ::mkdir(path, 0770) == 0;
}

namespace {

std::string DirOf(const std::string& path) {
    std::size_t cut = path.find_last_of('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

std::string BaseOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

bool WriteAllAt(int fd, std::uint64_t off, const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    for (std::size_t done = 0; done < n;) {
        const ssize_t r = Vfs().pwrite(fd, p + done, n - done, static_cast<off_t>(off + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

// Errors after which a file beside the target cannot be had but the target may still be
// writable: the directory is not ours to change.
bool IsPermissionError(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

// "<name>.~" and hex digits: a temporary file of a save of `name` (earlier writers put their
// process id there, in decimal).
bool IsTempOf(const std::string& entry, const std::string& name) {
    const std::string prefix = name + ".~";
    return entry.size() > prefix.size() && entry.compare(0, prefix.size(), prefix) == 0 &&
           entry.find_first_not_of("0123456789abcdef", prefix.size()) == std::string::npos;
}

// Removes this user's temporary files of `name`: what writers that died mid-save left.
// Another user's are none of ours, whatever their name.
void RemoveStaleTemps(const StoreDir& dir, const std::string& name) {
    const int fd = ::openat(dir.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        struct stat st;
        if (IsTempOf(e->d_name, name) &&
            ::fstatat(dir.Fd(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_uid == ::geteuid())
            Vfs().unlinkat(dir.Fd(), e->d_name, 0);
    }
    ::closedir(d);
}

// Makes a new file "<name>.~<16 hex digits>" in `dir` that nobody could have planted: the name
// is drawn at random and the file made only where no name stood. Its descriptor, or -1.
int CreateTempFor(const StoreDir& dir, const std::string& name, std::string& temp) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char bytes[8];
        if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
            return -1;
        static const char kHex[] = "0123456789abcdef";
        temp = name + ".~";
        for (unsigned char b : bytes) {
            temp += kHex[b >> 4];
            temp += kHex[b & 15];
        }
        const int fd =
            Vfs().openat(dir.Fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0660);
        if (fd >= 0) {
            KeepFromStrangers(fd);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Writes the new contents from offset 0 into `fd`; their length in `nLen`.
using Filler = std::function<bool(int fd, std::uint64_t& nLen)>;

bool RewriteInPlace(const StorePlace& place, const Filler& fill) {
    CFile f;
    std::uint64_t nLen = 0;
    // Not truncated first: the file never stands empty while the new bytes go in.
    return f.OpenIn(*place.pDir, place.strName.c_str(),
                    CFile::modeWrite | CFile::modeCreate | CFile::modeNoTruncate) &&
           fill(f.GetHandle(), nLen) && f.SetLength(nLen);
}

bool ReplaceWith(const StoreDir& dir, const char* name, const Filler& fill) {
    StorePlace place;
    if (!name || !*name || !FindStorePlace(dir, name, place))
        return false;
    const StoreDir& at = *place.pDir;
    const std::string& target = place.strName;
    struct stat st;
    bool bHad = ::fstatat(at.Fd(), target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (bHad && !S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    // A file the directory does not accept is only ever replaced: its name is taken, its bytes,
    // mode and owner are none of the new file's.
    if (bHad && !at.Accepts(st))
        bHad = false;
    RemoveStaleTemps(at, target);
    // A rename would split the file from its other names, which would keep the old bytes.
    if (bHad && st.st_nlink > 1)
        return RewriteInPlace(place, fill);

    std::string temp;
    const int fd = CreateTempFor(at, target, temp);
    if (fd < 0)
        return IsPermissionError(errno) && RewriteInPlace(place, fill);
    if (bHad) {
        // The owner first: a change of owner may clear set-id bits that the mode then restores.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        (void)!::fchmod(fd, st.st_mode & 07777);
    }
    std::uint64_t nLen = 0;
    const bool bWritten = fill(fd, nLen);
    Vfs().close(fd);
    if (bWritten && Vfs().renameat(at.Fd(), temp.c_str(), at.Fd(), target.c_str()) == 0)
        return true;
    const int err = errno;
    Vfs().unlinkat(at.Fd(), temp.c_str(), 0);
    // A sticky directory lets us make a file but not rename over another user's.
    return bWritten && IsPermissionError(err) && RewriteInPlace(place, fill);
}

// Copies every byte of `src` into `fd` from offset 0.
Filler CopyOf(CFile& src) {
    return [&src](int fd, std::uint64_t& nLen) {
        std::vector<char> buf(1 << 16);
        nLen = 0;
        for (;;) {
            const long long r = src.ReadAt(nLen, buf.data(), buf.size());
            if (r < 0)
                return false;
            if (r == 0)
                return true;
            if (!WriteAllAt(fd, nLen, buf.data(), static_cast<std::size_t>(r)))
                return false;
            nLen += static_cast<std::uint64_t>(r);
        }
    };
}

}  // namespace

void KeepFromStrangers(int fd) {
    // A group-owned directory gives its own group to new files: only a group of this user's may
    // share them.
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_gid == ::getegid() || !(st.st_mode & 070))
        return;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(n > 0 ? n : 0));
    if (n > 0 && ::getgroups(n, groups.data()) == n)
        for (gid_t g : groups)
            if (g == st.st_gid)
                return;
    (void)!::fchmod(fd, st.st_mode & 07700);
}

namespace {

// The target of the link `path` when the link is one that only this user or the administrator
// could have made (it then names the directory as the administrator meant). The link is held
// while its owner and its target are read, so another link put in its place meanwhile is never
// followed. False (errno ELOOP for a refused link, else as the failure left it) otherwise.
bool OwnLinkTarget(const std::string& path, std::string& target) {
    const int err = errno;
    const int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat link;
    if (fd < 0 || ::fstat(fd, &link) != 0 || !S_ISLNK(link.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        errno = err;
        return false;
    }
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t len = link.st_uid == ::geteuid() || link.st_uid == 0
                            ? ::readlinkat(fd, "", buf.data(), buf.size())
                            : -1;
    ::close(fd);
    if (len <= 0 || static_cast<std::size_t>(len) >= buf.size()) {
        errno = ELOOP;
        return false;
    }
    target.assign(buf.data(), static_cast<std::size_t>(len));
    if (target[0] != '/')
        target = DirOf(path) + "/" + target;
    return true;
}

}  // namespace

bool StoreDir::Open(const std::string& path) {
    Close();
    std::string bare = path;
    // A trailing separator would have the last part followed even if it is a link.
    while (bare.size() > 1 && bare.back() == '/')
        bare.pop_back();
    if (bare.empty()) {
        errno = ENOENT;
        return false;
    }
    int fd = ::open(bare.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // With O_DIRECTORY, Linux answers a link with ENOTDIR, not ELOOP.
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
        std::string target;
        if (!OwnLinkTarget(bare, target))
            return false;
        fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_uid = st.st_uid;
    m_gid = st.st_gid;
    m_mode = st.st_mode;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    m_path = bare;
    return true;
}

void StoreDir::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

bool StoreDir::IsRemoved() const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || st.st_nlink == 0)
        return true;
    return ::stat(m_path.c_str(), &st) != 0 || st.st_dev != m_dev || st.st_ino != m_ino;
}

bool StoreDir::Accepts(const struct stat& st) const {
    if (!S_ISREG(st.st_mode))
        return false;
    if (OthersMayWrite())
        return st.st_uid == ::geteuid() && st.st_nlink == 1;
    // Only the owner, the group where it may write, and the administrator make files here.
    return st.st_uid == ::geteuid() || st.st_uid == m_uid || st.st_uid == 0 ||
           ((m_mode & S_IWGRP) && st.st_gid == m_gid);
}

bool StoreDir::Refuses(const char* name) const {
    StorePlace place;
    if (!FindStorePlace(*this, name, place))
        return errno == ELOOP;
    struct stat st;
    return ::fstatat(place.pDir->Fd(), place.strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode) && !place.pDir->Accepts(st);
}

bool StoreDir::Holds(const char* name) const {
    struct stat st;
    return m_fd >= 0 && name && *name && ::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool StoreDir::Remove(const char* name) const {
    return m_fd >= 0 && name && *name && Vfs().unlinkat(m_fd, name, 0) == 0;
}

bool FindStorePlace(const StoreDir& dir, const char* name, StorePlace& place) {
    place.pDir = &dir;
    place.strName = name ? name : "";
    place.pLinkedDir.reset();
    if (!dir.IsOpen() || place.strName.empty() || place.strName.find('/') != std::string::npos) {
        errno = ENOENT;
        return false;
    }
    for (int hops = 0; hops < 8; ++hops) {
        const StoreDir& at = *place.pDir;
        struct stat st;
        if (::fstatat(at.Fd(), place.strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(st.st_mode))
            return true;
        struct stat dirSt;
        const uid_t me = ::geteuid();
        if (st.st_uid != me || ::fstat(at.Fd(), &dirSt) != 0 || dirSt.st_uid != me ||
            (dirSt.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
            errno = ELOOP;
            return false;
        }
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t len = ::readlinkat(at.Fd(), place.strName.c_str(), buf.data(), buf.size());
        if (len <= 0 || static_cast<std::size_t>(len) >= buf.size())
            return false;
        std::string text(buf.data(), static_cast<std::size_t>(len));
        if (text[0] != '/')
            text = at.Path() + "/" + text;
        auto pNext = std::make_unique<StoreDir>();
        if (!pNext->Open(DirOf(text)))
            return false;
        place.strName = BaseOf(text);
        if (place.strName.empty() || place.strName == "." || place.strName == "..") {
            errno = EINVAL;
            return false;
        }
        place.pLinkedDir = std::move(pNext);
        place.pDir = place.pLinkedDir.get();
    }
    errno = ELOOP;
    return false;
}

bool ResolveStorePath(const StoreDir* pDir, const char* path, std::string& out) {
    out = path ? path : "";
    StoreDir own;
    if (!pDir) {
        if (out.empty() || !own.Open(DirOf(out)))
            return true;
        pDir = &own;
    }
    StorePlace place;
    if (!FindStorePlace(*pDir, BaseOf(out).c_str(), place))
        return errno != ELOOP;
    out = place.pDir->Path() + "/" + place.strName;
    return true;
}

bool OpenStoreFile(CFile& f, const char* path, unsigned flags) {
    if (!path || !*path) {
        errno = ENOENT;
        return false;
    }
    StoreDir dir;
    return dir.Open(DirOf(path)) && f.OpenIn(dir, BaseOf(path).c_str(), flags, true);
}

bool CopyFileReplace(const StoreDir& dir, const char* from, const char* to) {
    CFile src;
    if (!src.OpenIn(dir, from, CFile::modeRead | CFile::shareDenyNone, true))
        return false;
    // In place, as the Windows copy does: programs that hold the target open see the new bytes.
    // Never cut: a program reading the target through a mapping would fault on the bytes cut
    // off. What lies past the new bytes is past the live area the copy's own header gives.
    CFile dst;
    std::uint64_t nLen = 0;
    return dst.OpenIn(dir, to, CFile::modeWrite | CFile::modeCreate | CFile::modeNoTruncate,
                      true) &&
           CopyOf(src)(dst.GetHandle(), nLen);
}

bool CopyFileAnew(const StoreDir& dir, const char* from, const char* to) {
    CFile src;
    return src.OpenIn(dir, from, CFile::modeRead | CFile::shareDenyNone, true) &&
           ReplaceWith(dir, to, CopyOf(src));
}

bool DeleteFile(const char* path) {
    return path && *path && Vfs().unlink(path) == 0;
}

bool RenameReplace(const char* from, const char* to) {
    return from && to && Vfs().rename(from, to) == 0;
}

namespace {

// getpid is a system call on every use; the lock asks on every call, so the id is kept and
// forgotten in each child that fork makes.
std::atomic<int> g_nProcessId{0};

void ForgetProcessId() {
    g_nProcessId.store(0, std::memory_order_relaxed);
}

}  // namespace

bool ReplaceFileContents(const StoreDir& dir, const char* name, const void* data, std::size_t n) {
    return ReplaceWith(dir, name, [data, n](int fd, std::uint64_t& nLen) {
        nLen = n;
        return WriteAllAt(fd, 0, data, n);
    });
}

bool ReplaceFileContents(const char* path, const void* data, std::size_t n) {
    if (!path || !*path)
        return false;
    StoreDir dir;
    return dir.Open(DirOf(path)) && ReplaceFileContents(dir, BaseOf(path).c_str(), data, n);
}

int ProcessId() {
    static const bool bForgottenInChildren = pthread_atfork(nullptr, nullptr, ForgetProcessId) == 0;
    int nId = g_nProcessId.load(std::memory_order_relaxed);
    if (nId == 0 || !bForgottenInChildren) {
        nId = static_cast<int>(::getpid());
        g_nProcessId.store(nId, std::memory_order_relaxed);
    }
    return nId;
}

bool SetCurrentDir(const char* path) {
    return path && *path && ::chdir(path) == 0;
}

std::string GetCurrentDir() {
    std::vector<char> buf(4096);
    for (;;) {
        if (::getcwd(buf.data(), buf.size()))
            return std::string(buf.data());
        if (errno != ERANGE)
            return std::string();
        buf.resize(buf.size() * 2);
    }
}

std::string MakeAbsolute(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    std::string cwd = GetCurrentDir();
    if (cwd.empty())
        return path;
    if (cwd.back() != '/')
        cwd += '/';
    return cwd + path;
}

}  // namespace mlplat
