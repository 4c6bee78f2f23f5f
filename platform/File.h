// CFile and CStdioFile: the class library's file classes on POSIX descriptors.
//
// Binary files are read and written at explicit offsets (no shared seek position), so several
// programs can work on one file without disturbing each other. Nothing throws: every operation
// reports failure in its result. Reads are copied out of a shared read-only mapping of the file
// where its bytes are known to exist (see MappedView.h), and read with pread beyond; every write
// is a pwrite.
//
// Only regular files are opened: a FIFO, a device or a directory where a file is expected is
// refused at once (the open never waits for a FIFO's other end), so a stray special file reads
// as a file that cannot be opened instead of hanging the program or feeding it endless bytes.
//
// Sharing: POSIX has no share modes. shareDenyNone is a plain open; shareExclusive takes
// flock(LOCK_EX | LOCK_NB) right after the open and holds it until Close, and the open fails
// when another holder has it. The other share modes act as shareDenyNone.
//
// CStdioFile keeps Windows line ends on disk: it writes CR LF for every '\n' and strips CR LF
// (or a lone LF) from the lines it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "CString.h"
#include "MappedView.h"

namespace mlplat {
class StoreDir;
}

// What tells whether a file changed since it was last looked at: any write by any program
// changes its size or its modification or change time (the kernel gives a fresh fine-grained
// time to a change that follows a query of the old one).
struct FileStamp {
    std::uint64_t nDev = 0;
    std::uint64_t nIno = 0;
    std::int64_t nSize = -1;
    std::int64_t nMtimeNs = 0;
    std::int64_t nCtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };

    CFile() = default;
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path` with the class library's flags. modeCreate without modeNoTruncate truncates.
    // On failure errno tells why (EWOULDBLOCK: another holder of a shareExclusive open; EINVAL:
    // not a regular file), and IsHeldElsewhere whether the failure was such a holder.
    bool Open(const char* path, unsigned flags);
    // Opens the file `name` of a store directory, as Open does, but never through a symbolic
    // link unless `bFollowOwnLink` (then as mlplat::FindStorePlace says), and only a file the
    // directory accepts (mlplat::StoreDir::Accepts); a file it makes is closed to others
    // whatever the umask. IsRefused tells when the failure was such a refusal.
    bool OpenIn(const mlplat::StoreDir& dir, const char* name, unsigned flags,
                bool bFollowOwnLink = false);
    bool IsRefused() const { return m_bRefused; }
    // The last Open failed only because another holder has the file shareExclusive: worth
    // trying again shortly.
    bool IsHeldElsewhere() const { return m_bHeldElsewhere; }
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int GetHandle() const { return m_fd; }
    const CString& GetFilePath() const { return m_path; }

    // Reads up to n bytes at `offset`; returns the count read (short at the end of the file),
    // or -1 on an error.
    long long ReadAt(std::uint64_t offset, void* buf, std::size_t n);
    // One read of up to n bytes at `offset`: a short count may be the end of the file or a
    // transfer cut short, which ReadAt would settle with a second call. -1 on an error.
    long long ReadOnceAt(std::uint64_t offset, void* buf, std::size_t n);
    // Reads exactly n bytes at `offset`; false when fewer are there or on an error.
    bool ReadExactAt(std::uint64_t offset, void* buf, std::size_t n);
    // Replaces `out` with every byte from offset 0 to the end of the file; false on an error,
    // or (errno EFBIG) when the file holds more than nMax bytes.
    bool ReadAll(std::string& out, std::size_t nMax = SIZE_MAX);
    // Writes all n bytes at `offset`; false on any error (a short write included).
    bool WriteAt(std::uint64_t offset, const void* buf, std::size_t n);

    // Current length in bytes, or -1 on an error.
    long long GetLength() const;
    bool SetLength(std::uint64_t n);
    // The open file's stamp; false on an error.
    bool GetStamp(FileStamp& stamp) const;
    // True when every name of the open file was removed (its directory deleted, say). Asks
    // for the link count alone, which leaves the file's times unqueried.
    bool IsUnlinked() const;
    // Takes an exclusive flock on this open file, waiting at most nTimeoutMs; false on a
    // time-out or an error. The kernel drops it when the process dies. Unlock gives it up.
    bool LockExclusive(unsigned nTimeoutMs);
    void Unlock();

protected:
    int m_fd = -1;
    bool m_bHeldElsewhere = false;
    bool m_bRefused = false;
    CString m_path;

private:
    // The positional reads: what the mapping holds, then pread for the rest.
    long long ReadMapped(std::uint64_t offset, void* buf, std::size_t n, bool bOnce);

    // The shared end of both opens: `fd` was just opened (non-blocking) with `flags`.
    bool Adopt(int fd, unsigned flags, const char* path);

    mlplat::MappedView m_view;
};

// The system's words for why the last failed file operation of this thread failed.
std::string LastFileErrorText();

class CStdioFile : public CFile {
public:
    // Text files are read and written sequentially from a position of their own.
    bool Open(const char* path, unsigned flags);
    bool OpenIn(const mlplat::StoreDir& dir, const char* name, unsigned flags);
    // Next line without its line end; false at the end of the file (or on an error).
    bool ReadString(CString& line);
    // Writes text, '\n' becoming CR LF.
    bool WriteString(const char* text);
    void SeekToBegin() {
        m_pos = 0;
        m_buf.clear();
        m_bufPos = 0;
        m_scanned = 0;
    }
    // The line of `text` that starts at `pos`, split and stripped as ReadString does; `pos`
    // moves past its line end. False when `pos` is at the end of `text`.
    static bool NextLine(std::string_view text, std::size_t& pos, CString& line);
    bool SeekToEnd();

private:
    bool Fill();
    std::uint64_t m_pos = 0;  // file offset of the next byte not yet in m_buf
    std::string m_buf;        // read-ahead
    std::size_t m_bufPos = 0;
    std::size_t m_scanned = 0;  // bytes of m_buf already searched for a line end
};
