#include "Vfs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace mlplat {
namespace {

int PosixOpen(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
int PosixClose(int fd) {
    return ::close(fd);
}
ssize_t PosixPread(int fd, void* buf, size_t n, off_t off) {
    return ::pread(fd, buf, n, off);
}
ssize_t PosixPwrite(int fd, const void* buf, size_t n, off_t off) {
    return ::pwrite(fd, buf, n, off);
}
int PosixFtruncate(int fd, off_t len) {
    return ::ftruncate(fd, len);
}
int PosixFsize(int fd, off_t* len) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return -1;
    *len = st.st_size;
    return 0;
}
int PosixFlock(int fd, int op) {
    int r;
    do {
        r = ::flock(fd, op);
    } while (r != 0 && errno == EINTR);
    return r;
}
int PosixRename(const char* from, const char* to) {
    return std::rename(from, to);
}
int PosixUnlink(const char* path) {
    return ::unlink(path);
}
int PosixFstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}

int PosixNlinks(int fd, unsigned long* n) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_NLINK, &sx) != 0)
        return -1;
    *n = sx.stx_nlink;
    return 0;
}

int PosixOpenat(int dirfd, const char* name, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::openat(dirfd, name, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
int PosixRenameat(int fromdirfd, const char* from, int todirfd, const char* to) {
    return ::renameat(fromdirfd, from, todirfd, to);
}
int PosixUnlinkat(int dirfd, const char* name, int flags) {
    return ::unlinkat(dirfd, name, flags);
}
void* PosixMap(int fd, size_t n) {
    return ::mmap(nullptr, n, PROT_READ, MAP_SHARED, fd, 0);
}

const VfsOps kPosix = {PosixOpen,   PosixClose,  PosixPread,    PosixPwrite,   PosixFtruncate,
                       PosixFsize,  PosixFlock,  PosixRename,   PosixUnlink,   PosixFstat,
                       PosixNlinks, PosixOpenat, PosixRenameat, PosixUnlinkat, PosixMap};

}  // namespace

const VfsOps& PosixVfs() {
    return kPosix;
}

VfsOps& Vfs() {
    static VfsOps ops = kPosix;
    return ops;
}

}  // namespace mlplat
