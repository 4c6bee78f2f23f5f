// CStoreErrorFile: the store's error file, the one way the engine and the facade report failures.
// The file lives in the store's directory; the owner says which directory that is, and a store
// without one (or a read-only view) writes nothing and reads nothing.
#pragma once

#include <cstddef>

#include "Arrays.h"
#include "CString.h"
#include "File.h"

namespace mlplat {
class StoreDir;
}  // namespace mlplat

class CStoreErrorFile : public CObject {
public:
    // The error file's name, identifier and format version.
    static constexpr const char* kErrFileName = "TempErrFile.txt";
    static constexpr const char* kErrFileId = "ZORVEN_TEMPERR";
    static constexpr unsigned kFormatVersion = 0x00010000;
    // What a read of the error file holds at most: 1 MiB of the newest messages (some 20,000
    // of the engine's), and the first 4 KiB for the header.
    static constexpr std::size_t kErrReadMaxBytes = std::size_t{1} << 20;
    static constexpr std::size_t kErrHeadBytes = 4096;

    // Appends one message line (a '\n' is appended to `strMsg` itself, after each CR and LF in
    // it became a space). Nonzero when the file could be opened; 0 without a directory or while
    // another process holds the file.
    int AddError(CString& strMsg);
    // Formats and appends one message.
    void ReportError(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // The messages, after any header complaint. Nonzero when the file could be opened.
    // Memory and time stay bounded whatever the file's size: a file of at most kErrReadMaxBytes
    // is read whole; of a longer one only the header lines (looked for in its first
    // kErrHeadBytes) and the newest lines within its last kErrReadMaxBytes are read, a line cut
    // by that bound left out, and an empty line among them ends the messages as anywhere.
    int GetErrStringArray(CStringArray& arr);
    // GetErrStringArray's reading of the open error file `f` with the bounds given (the
    // store's own are kErrReadMaxBytes and kErrHeadBytes): header complaints, then messages.
    static void ReadErrMessages(CFile& f, std::size_t nMaxBytes, std::size_t nHeadBytes,
                                CStringArray& arr);
    // Deletes the error file if it exists; always 1.
    int RemoveErrorFile();

protected:
    CStoreErrorFile() = default;
    // The directory that holds the error file, or null when nothing may go there (no
    // directory, or a read-only view).
    virtual mlplat::StoreDir* ErrorFileDir() = 0;
};
