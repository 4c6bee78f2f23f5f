// The file-system operations every file of the store goes through.
//
// A table of plain functions, POSIX by default. Tests replace single entries to inject faults
// (a failing write, a full disk) without touching the engine; production code never changes it.
// The table is process-wide and not synchronised: swap it only while no store is in use.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace mlplat {

struct VfsOps {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*pread)(int fd, void* buf, size_t n, off_t off);
    ssize_t (*pwrite)(int fd, const void* buf, size_t n, off_t off);
    int (*ftruncate)(int fd, off_t len);
    int (*fsize)(int fd, off_t* len);  // 0 and the length, or -1
    int (*flock)(int fd, int op);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*fstat)(int fd, struct stat* st);
    int (*nlinks)(int fd, unsigned long* n);  // the link count alone
    // Relative to an open directory: how the store reaches its own files.
    int (*openat)(int dirfd, const char* name, int flags, mode_t mode);
    int (*renameat)(int fromdirfd, const char* from, int todirfd, const char* to);
    int (*unlinkat)(int dirfd, const char* name, int flags);
    // A read-only shared mapping of the first n bytes of the file's address range (n may pass
    // its end), or MAP_FAILED.
    void* (*map)(int fd, size_t n);
};

// The table in force.
VfsOps& Vfs();
// The POSIX table, for tests that wrap it.
const VfsOps& PosixVfs();

}  // namespace mlplat
