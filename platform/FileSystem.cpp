#include "FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
