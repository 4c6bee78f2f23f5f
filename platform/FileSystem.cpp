#include "FileSystem.h"

#include <dirent.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
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
    return path && *path && ::mkdir(path, 0777) == 0;
}

bool CopyFileReplace(const char* from, const char* to) {
    if (!from || !to || !*from || !*to)
        return false;
    CFile src;
    if (!src.Open(from, CFile::modeRead | CFile::shareDenyNone))
        return false;
    // In place, as the Windows copy does: programs that hold the target open see the new bytes.
    CFile dst;
    if (!dst.Open(to, CFile::modeWrite | CFile::modeCreate))
        return false;
    std::vector<char> buf(1 << 16);
    std::uint64_t off = 0;
    for (;;) {
        long long r = src.ReadAt(off, buf.data(), buf.size());
        if (r < 0)
            return false;
        if (r == 0)
            return true;
        if (!dst.WriteAt(off, buf.data(), static_cast<std::size_t>(r)))
            return false;
        off += static_cast<std::uint64_t>(r);
    }
}

bool DeleteFile(const char* path) {
    return path && *path && Vfs().unlink(path) == 0;
}

bool RenameReplace(const char* from, const char* to) {
    return from && to && Vfs().rename(from, to) == 0;
}

namespace {

std::string DirOf(const std::string& path) {
    std::size_t cut = path.find_last_of('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

// The file a chain of symbolic links ends at (the path itself when it is no link). Relative
// link texts count from the link's own directory. Empty on a loop or an unreadable link.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t len = ::readlink(path.c_str(), buf.data(), buf.size());
        if (len <= 0 || static_cast<std::size_t>(len) >= buf.size())
            return std::string();
        std::string text(buf.data(), static_cast<std::size_t>(len));
        path = text[0] == '/' ? text : DirOf(path) + "/" + text;
    }
    return std::string();
}

// Removes "<name>.~<digits>" beside `path`: temporary files of writers that died mid-save.
void RemoveStaleTemps(const std::string& path) {
    const std::string dir = DirOf(path);
    const std::string prefix = path.substr(path.find_last_of('/') + 1) + ".~";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            continue;
        Vfs().unlink((dir + "/" + name).c_str());
    }
    ::closedir(d);
}

// getpid is a system call on every use; the lock asks on every call, so the id is kept and
// forgotten in each child that fork makes.
std::atomic<int> g_nProcessId{0};

void ForgetProcessId() {
    g_nProcessId.store(0, std::memory_order_relaxed);
}

bool WriteAllAt(int fd, const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    for (std::size_t done = 0; done < n;) {
        const ssize_t r = Vfs().pwrite(fd, p + done, n - done, static_cast<off_t>(done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

bool RewriteInPlace(const std::string& path, const void* data, std::size_t n) {
    CFile f;
    // Not truncated first: the file never stands empty while the new bytes go in.
    return f.Open(path.c_str(), CFile::modeWrite | CFile::modeCreate | CFile::modeNoTruncate) &&
           f.WriteAt(0, data, n) && f.SetLength(n);
}

// Errors after which a file beside the target cannot be had but the target may still be
// writable: the directory is not ours to change.
bool IsPermissionError(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

}  // namespace

bool ReplaceFileContents(const char* path, const void* data, std::size_t n) {
    if (!path || !*path)
        return false;
    const std::string target = FollowLinks(path);
    if (target.empty())
        return false;
    struct stat st;
    const bool bHad = ::stat(target.c_str(), &st) == 0;
    if (bHad && !S_ISREG(st.st_mode))
        return false;
    RemoveStaleTemps(target);
    // A rename would split the file from its other names, which would keep the old bytes.
    if (bHad && st.st_nlink > 1)
        return RewriteInPlace(target, data, n);

    const std::string temp = target + ".~" + std::to_string(ProcessId());
    const int fd = Vfs().open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0)
        return IsPermissionError(errno) && RewriteInPlace(target, data, n);
    if (bHad) {
        // The owner first: a change of owner may clear set-id bits that the mode then restores.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        (void)!::fchmod(fd, st.st_mode & 07777);
    }
    const bool bWritten = WriteAllAt(fd, data, n);
    Vfs().close(fd);
    if (bWritten && Vfs().rename(temp.c_str(), target.c_str()) == 0)
        return true;
    const int err = errno;
    Vfs().unlink(temp.c_str());
    // A sticky directory lets us make a file but not rename over another user's.
    return bWritten && IsPermissionError(err) && RewriteInPlace(target, data, n);
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
