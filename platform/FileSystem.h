// Directory and file operations of the store, in place of the Windows calls it was built on.
// Paths are byte strings with '/' as the separator. No function throws.
#pragma once

#include <cstddef>
#include <string>

namespace mlplat {

bool PathExists(const char* path);
bool IsDirectory(const char* path);
// Creates one directory (mode 0777 reduced by the umask); false if it could not be created.
bool CreateDir(const char* path);
// Copies `from` over `to` in place (the target is truncated and rewritten, so programs holding
// it open see the new bytes); false on any error.
bool CopyFileReplace(const char* from, const char* to);
// Deletes a file; false when it did not exist or could not be removed.
bool DeleteFile(const char* path);
// Renames `from` over `to` atomically (both in one directory).
bool RenameReplace(const char* from, const char* to);
// Makes `path` hold exactly the n bytes at `data`, as safely as the file and its directory
// allow. Normally the bytes go to "<file>.~<pid>" beside the file, which then takes the file's
// place in one rename (a reader sees the old file or the new one whole, and a failed write
// leaves the old one as it was); the new file gets the old one's mode and, where permitted,
// its owner. A symbolic link is followed: the file it names gets the bytes and the link stays.
// Where no file can be made or renamed beside the file, or the file has several hard links,
// the file is rewritten in place instead. Leftovers "<file>.~<digits>" of earlier writers that
// were killed are removed first: the caller must make sure no other writer of this file is at
// work (the tree's exclusive lock does). False on any error, or when the path names something
// other than a regular file.
bool ReplaceFileContents(const char* path, const void* data, std::size_t n);
// The id of the running process; cheap enough to ask on every call (it is kept, and asked
// afresh in a child that fork makes).
int ProcessId();
bool SetCurrentDir(const char* path);
std::string GetCurrentDir();
// `path` made absolute against the current directory (not resolved: no links followed).
std::string MakeAbsolute(const std::string& path);

}  // namespace mlplat
