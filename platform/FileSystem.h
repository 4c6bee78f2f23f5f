// Directory and file operations of the store, in place of the Windows calls it was built on.
// Paths are byte strings with '/' as the separator. No function throws.
#pragma once

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
bool SetCurrentDir(const char* path);
std::string GetCurrentDir();
// `path` made absolute against the current directory (not resolved: no links followed).
std::string MakeAbsolute(const std::string& path);

}  // namespace mlplat
