#include "File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Clock.h"
#include "FileLock.h"
#include "FileSystem.h"
#include "Vfs.h"

namespace {

// Repeats a positional transfer until all n bytes have moved, it moves nothing or it fails with
// more than an interruption; returns the bytes moved, or -1 on failure.
template <class Transfer>
long long MoveAll(std::size_t n, Transfer transfer) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = transfer(done);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<long long>(done);
}

}  // namespace

CFile::~CFile() {
    Close();
}

namespace {

int AccessFlags(unsigned flags) {
    switch (flags & 0x3) {
        case CFile::modeWrite:
            return O_WRONLY;
        case CFile::modeReadWrite:
            return O_RDWR;
        default:
            return O_RDONLY;
    }
}

}  // namespace

bool CFile::Open(const char* path, unsigned flags) {
    Close();
    m_bHeldElsewhere = false;
    m_bRefused = false;
    if (!path || !*path) {
        errno = ENOENT;
        return false;
    }
    int oflags = AccessFlags(flags);
    if (flags & modeCreate) {
        oflags |= O_CREAT;
        if (!(flags & modeNoTruncate))
            oflags |= O_TRUNC;
    }
    // Non-blocking only for the open itself: a FIFO without its other end would block it for
    // ever. What is not a regular file is refused before a byte is read or written.
    const int fd = mlplat::Vfs().open(path, oflags | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    if (mlplat::Vfs().fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        mlplat::Vfs().close(fd);
        errno = EINVAL;
        return false;
    }
    return Adopt(fd, flags, path);
}

bool CFile::OpenIn(const mlplat::StoreDir& dir, const char* name, unsigned flags,
                   bool bFollowOwnLink) {
    Close();
    m_bHeldElsewhere = false;
    m_bRefused = false;
    mlplat::StorePlace place;
    if (!name || !*name || !dir.IsOpen()) {
        errno = ENOENT;
        return false;
    }
    if (bFollowOwnLink && !mlplat::FindStorePlace(dir, name, place)) {
        m_bRefused = errno == ELOOP;
        return false;
    }
    const mlplat::StoreDir& at = bFollowOwnLink ? *place.pDir : dir;
    const char* pszName = bFollowOwnLink ? place.strName.c_str() : name;
    const int oflags = AccessFlags(flags) | O_NOFOLLOW | O_NONBLOCK;
    int fd = -1;
    bool bCreated = false;
    // Opened as found, or else made anew where nothing stood: a file found is looked at before
    // a byte of it is cut or written.
    for (int attempt = 0; attempt < 3; ++attempt) {
        fd = mlplat::Vfs().openat(at.Fd(), pszName, oflags, 0);
        if (fd >= 0 || errno != ENOENT || !(flags & modeCreate))
            break;
        fd = mlplat::Vfs().openat(at.Fd(), pszName, oflags | O_CREAT | O_EXCL, 0660);
        bCreated = fd >= 0;
        if (fd >= 0 || errno != EEXIST)
            break;
    }
    if (fd < 0) {
        m_bRefused = errno == ELOOP;
        return false;
    }
    struct stat st {};
    if (mlplat::Vfs().fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (!bCreated && !at.Accepts(st))) {
        const bool bRegular = S_ISREG(st.st_mode);
        mlplat::Vfs().close(fd);
        m_bRefused = bRegular;
        errno = bRegular ? EPERM : EINVAL;
        return false;
    }
    if (bCreated)
        mlplat::KeepFromStrangers(fd);
    const std::string path = at.Path() + "/" + pszName;
    if (!Adopt(fd, flags, path.c_str()))
        return false;
    if ((flags & modeCreate) && !(flags & modeNoTruncate) && !bCreated && !SetLength(0)) {
        const int err = errno;
        Close();
        errno = err;
        return false;
    }
    return true;
}

bool CFile::Adopt(int fd, unsigned flags, const char* path) {
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        int err = errno;
        mlplat::Vfs().close(fd);
        errno = err;
        return false;
    }
    if ((flags & 0x70) == shareExclusive && mlplat::Vfs().flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        mlplat::Vfs().close(fd);
        errno = err;
        m_bHeldElsewhere = err == EWOULDBLOCK;
        return false;
    }
    m_fd = fd;
    m_path = path;
    return true;
}

void CFile::Close() {
    m_view.Close();
    if (m_fd >= 0)
        mlplat::Vfs().close(m_fd);  // closing drops any flock
    m_fd = -1;
    m_path.Empty();
}

long long CFile::ReadMapped(std::uint64_t offset, void* buf, std::size_t n, bool bOnce) {
    if (m_fd < 0)
        return -1;
    // A single read takes no fstat: its caller settles a short count by reading again.
    const std::size_t nMapped = m_view.Copy(m_fd, offset, buf, n, !bOnce);
    if (nMapped == n)
        return static_cast<long long>(n);
    char* p = static_cast<char*>(buf) + nMapped;
    const std::uint64_t at = offset + nMapped;
    const std::size_t nRest = n - nMapped;
    long long r;
    if (bOnce) {
        do
            r = mlplat::Vfs().pread(m_fd, p, nRest, static_cast<off_t>(at));
        while (r < 0 && errno == EINTR);
    } else {
        r = MoveAll(nRest, [&](std::size_t done) {
            return mlplat::Vfs().pread(m_fd, p + done, nRest - done, static_cast<off_t>(at + done));
        });
    }
    if (r < 0)
        return nMapped > 0 ? static_cast<long long>(nMapped) : -1;
    return static_cast<long long>(nMapped) + r;
}

long long CFile::ReadAt(std::uint64_t offset, void* buf, std::size_t n) {
    return ReadMapped(offset, buf, n, false);
}

long long CFile::ReadOnceAt(std::uint64_t offset, void* buf, std::size_t n) {
    return ReadMapped(offset, buf, n, true);
}

bool CFile::ReadExactAt(std::uint64_t offset, void* buf, std::size_t n) {
    return ReadAt(offset, buf, n) == static_cast<long long>(n);
}

bool CFile::ReadAll(std::string& out, std::size_t nMax) {
    out.clear();
    const long long len = GetLength();
    if (len < 0)
        return false;
    if (static_cast<unsigned long long>(len) > nMax) {
        errno = EFBIG;
        return false;
    }
    out.resize(static_cast<std::size_t>(len));
    const long long got = ReadAt(0, out.data(), out.size());
    if (got < 0)
        return false;
    out.resize(static_cast<std::size_t>(got));
    // The file may have grown since its length was taken.
    char chunk[65536];
    for (;;) {
        const long long r = ReadAt(out.size(), chunk, sizeof chunk);
        if (r < 0)
            return false;
        if (r == 0)
            return true;
        if (static_cast<std::size_t>(r) > nMax - out.size()) {
            errno = EFBIG;
            return false;
        }
        out.append(chunk, static_cast<std::size_t>(r));
    }
}

std::string LastFileErrorText() {
    return std::strerror(errno);
}

bool CFile::WriteAt(std::uint64_t offset, const void* buf, std::size_t n) {
    if (m_fd < 0)
        return false;
    const char* p = static_cast<const char*>(buf);
    if (MoveAll(n, [&](std::size_t done) {
            return mlplat::Vfs().pwrite(m_fd, p + done, n - done,
                                        static_cast<off_t>(offset + done));
        }) != static_cast<long long>(n))
        return false;
    m_view.Wrote(offset + n);
    return true;
}

long long CFile::GetLength() const {
    if (m_fd < 0)
        return -1;
    off_t len = 0;
    if (mlplat::Vfs().fsize(m_fd, &len) != 0)
        return -1;
    return static_cast<long long>(len);
}

bool CFile::SetLength(std::uint64_t n) {
    // Known short before the cut, so no read of this program's meets the missing bytes.
    m_view.Resized(0);
    if (m_fd < 0 || mlplat::Vfs().ftruncate(m_fd, static_cast<off_t>(n)) != 0)
        return false;
    m_view.Resized(n);
    return true;
}

bool CStdioFile::Open(const char* path, unsigned flags) {
    SeekToBegin();
    return CFile::Open(path, flags);
}

bool CStdioFile::OpenIn(const mlplat::StoreDir& dir, const char* name, unsigned flags) {
    SeekToBegin();
    return CFile::OpenIn(dir, name, flags);
}

bool CStdioFile::Fill() {
    char chunk[65536];
    long long r = ReadAt(m_pos, chunk, sizeof chunk);
    if (r <= 0)
        return false;
    m_buf.erase(0, m_bufPos);
    m_scanned -= std::min(m_scanned, m_bufPos);
    m_bufPos = 0;
    m_buf.append(chunk, static_cast<std::size_t>(r));
    m_pos += static_cast<std::uint64_t>(r);
    return true;
}

bool CStdioFile::NextLine(std::string_view text, std::size_t& pos, CString& line) {
    line.Empty();
    if (pos >= text.size())
        return false;
    std::size_t nl = text.find('\n', pos);
    std::size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
    std::size_t end = nl == std::string_view::npos ? text.size() : nl;
    if (end > pos && text[end - 1] == '\r')
        --end;
    line = CString(text.substr(pos, end - pos));
    pos = next;
    return true;
}

bool CStdioFile::ReadString(CString& line) {
    line.Empty();
    for (;;) {
        // Only the bytes not yet searched: a long line costs one pass, not one per chunk.
        std::size_t nl = m_buf.find('\n', std::max(m_bufPos, m_scanned));
        if (nl != std::string::npos) {
            NextLine(m_buf, m_bufPos, line);
            m_scanned = m_bufPos;
            return true;
        }
        m_scanned = m_buf.size();
        if (!Fill())
            break;
    }
    const bool bAny = NextLine(m_buf, m_bufPos, line);
    m_scanned = m_bufPos;
    return bAny;
}

bool CStdioFile::WriteString(const char* text) {
    if (!text)
        return true;
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            out += '\r';
        out += *p;
    }
    // Writing discards the read-ahead: the next read starts after what was written.
    std::uint64_t at = m_pos - (m_buf.size() - m_bufPos);
    m_buf.clear();
    m_bufPos = 0;
    m_scanned = 0;
    if (!WriteAt(at, out.data(), out.size()))
        return false;
    m_pos = at + out.size();
    return true;
}

bool CStdioFile::SeekToEnd() {
    long long len = GetLength();
    if (len < 0)
        return false;
    m_buf.clear();
    m_bufPos = 0;
    m_scanned = 0;
    m_pos = static_cast<std::uint64_t>(len);
    return true;
}

bool CFile::GetStamp(FileStamp& stamp) const {
    struct stat st {};
    if (m_fd < 0 || mlplat::Vfs().fstat(m_fd, &st) != 0)
        return false;
    stamp.nDev = st.st_dev;
    stamp.nIno = st.st_ino;
    stamp.nSize = st.st_size;
    stamp.nMtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    stamp.nCtimeNs = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    return true;
}

bool CFile::IsUnlinked() const {
    unsigned long nLinks = 1;
    return m_fd >= 0 && mlplat::Vfs().nlinks(m_fd, &nLinks) == 0 && nLinks == 0;
}

bool CFile::LockExclusive(unsigned nTimeoutMs) {
    if (m_fd < 0)
        return false;
    // Holders keep it for the moment of one write, so a short poll serves and no caller can be
    // held for longer than it asked.
    return mlplat::PollFlock(m_fd, LOCK_EX, mlplat::TickMs(), nTimeoutMs);
}

void CFile::Unlock() {
    if (m_fd >= 0)
        mlplat::Vfs().flock(m_fd, LOCK_UN);
}
