// Directory and file operations of the store, in place of the Windows calls it was built on.
// Paths are byte strings with '/' as the separator. No function throws.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <memory>
#include <string>

class CFile;

namespace mlplat {

// A directory of the store, opened once and looked at. The store reaches its files through it
// by name, never by a path that a link planted on the way could turn elsewhere, and uses only
// files it can trust there: other users may share the directory (a sticky /tmp, say), but not
// make the store's programs write into their files or read their bytes.
class StoreDir {
public:
    StoreDir() = default;
    ~StoreDir() { Close(); }
    StoreDir(const StoreDir&) = delete;
    StoreDir& operator=(const StoreDir&) = delete;

    // Opens the directory `path`. The last part may be a symbolic link only where the link is
    // this user's or the administrator's.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }
    // The directory opened was removed, or its path now names another one.
    bool IsRemoved() const;
    // Whether anybody but the directory's owner and group may make and remove names in it.
    bool OthersMayWrite() const { return (m_mode & S_IWOTH) != 0; }
    // Whether the store may use a file it found here: a regular file of this user; where others
    // cannot write into the directory, also one of its owner, of the administrator, or of its
    // group where the group may write into it (the suite's programs of one group share a
    // store); where others can, with no second name (a hard link planted there may lead to any
    // file of this user).
    bool Accepts(const struct stat& st) const;
    // Whether `name` exists here and is something the store refuses: a symbolic link it does
    // not follow, or a file it does not accept.
    bool Refuses(const char* name) const;
    // Whether `name` exists here (a link counts, wherever it leads).
    bool Holds(const char* name) const;
    // Removes the name `name` (a link itself, never what it names); false when it was not there
    // or could not be removed.
    bool Remove(const char* name) const;

private:
    int m_fd = -1;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    mode_t m_mode = 0;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    std::string m_path;
};

// Where a store file named `name` in a directory really is. A symbolic link is followed only
// where it is this user's and nobody else may write into its directory (a link of the user's
// own making, which the store has always honoured); the directory it leads into is opened and
// looked at in turn.
struct StorePlace {
    const StoreDir* pDir = nullptr;
    std::string strName;
    std::unique_ptr<StoreDir> pLinkedDir;  // the directory a link led into
};
// False (errno ELOOP) when a link is refused, or on an error; a missing file is no error.
bool FindStorePlace(const StoreDir& dir, const char* name, StorePlace& place);
// Takes the group's permissions from a new file whose group is none of this user's (the group a
// directory of another user's passes on), so that only the suite's own group shares it.
void KeepFromStrangers(int fd);
// The path of the file that the store file `path` stands for, a link of the user's own followed
// as FindStorePlace says, found through `pDir` (the directory of `path`, opened) or, without one,
// through the directory opened for the call. False (errno ELOOP) when a link is refused; a path
// whose directory cannot be looked at is given back as it is.
bool ResolveStorePath(const StoreDir* pDir, const char* path, std::string& out);
// Opens the store file `path` through its directory, as CFile::OpenIn with own links followed.
bool OpenStoreFile(CFile& f, const char* path, unsigned flags);

bool PathExists(const char* path);
bool IsDirectory(const char* path);
// Creates one directory, closed to others whatever the umask (mode 0770 reduced by it); false
// if it could not be created.
bool CreateDir(const char* path);
// Copies `from` over `to` in place (programs holding it open see the new bytes); the target is
// never shortened, so bytes of a longer target stay past the copy. Both are reached through
// `dir` as CFile::OpenIn does, own links followed. False on any error or a refused file.
bool CopyFileReplace(const StoreDir& dir, const char* from, const char* to);
// Copies `from` to a new file that then takes the place of `to` in one rename, as
// ReplaceFileContents does: whatever stood under the name is never written through.
bool CopyFileAnew(const StoreDir& dir, const char* from, const char* to);
// Deletes a file; false when it did not exist or could not be removed.
bool DeleteFile(const char* path);
// Renames `from` over `to` atomically (both in one directory).
bool RenameReplace(const char* from, const char* to);
// Makes `name` in `dir` hold exactly the n bytes at `data`, as safely as the file and its
// directory allow. Normally the bytes go to a new file "<file>.~<random hex>" beside the file,
// which then takes the file's place in one rename (a reader sees the old file or the new one
// whole, a failed write leaves the old one as it was, and a file planted under the name is
// replaced, never written into); the new file gets the old one's mode and, where permitted,
// its owner. A symbolic link is followed as FindStorePlace says: the file it names gets the
// bytes and the link stays. A file the directory does not accept is replaced, never written
// into. Where no file can be made or renamed beside the file, or the file has several hard
// links, the file is rewritten in place instead, if the directory accepts it.
// This user's leftovers "<file>.~<hex>" of earlier writers that were killed are removed first:
// the caller must make sure no other writer of this file is at work (the tree's exclusive lock
// does). False on any error, or when the name is refused or is no regular file.
bool ReplaceFileContents(const StoreDir& dir, const char* name, const void* data, std::size_t n);
// The same for `path`, through its directory opened for the call.
bool ReplaceFileContents(const char* path, const void* data, std::size_t n);
// The id of the running process; cheap enough to ask on every call (it is kept, and asked
// afresh in a child that fork makes).
int ProcessId();
bool SetCurrentDir(const char* path);
std::string GetCurrentDir();
// `path` made absolute against the current directory (not resolved: no links followed).
std::string MakeAbsolute(const std::string& path);

}  // namespace mlplat
