// The store's error file: a text file of message lines after a two-line header.
#include "StoreErrorFile.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "Clock.h"
#include "FileSystem.h"
#include "gbtext/StoreTexts.h"

namespace {

constexpr int kErrFileRetries = 50;  // 2 ms apart: 100 ms at most

CString HeaderLine1() {
    CString s;
    s.Format(gbtext::ErrFileIdLine, CStoreErrorFile::kErrFileId);
    return s;
}

CString HeaderLine2() {
    CString s;
    s.Format(gbtext::ErrFileVersionLine, CStoreErrorFile::kFormatVersion);
    return s;
}

// Opens the error file as the store always does: read/write, created with its header when
// empty, never truncated, shared with nobody.
// Another program holds the file only for the moment of its own append or read, so a few short
// retries keep a message from being lost to a collision; a holder that stays still fails us.
bool OpenErrFile(CStdioFile& f, const mlplat::StoreDir& dir) {
    constexpr unsigned kFlags = CFile::modeReadWrite | CFile::modeCreate | CFile::modeNoTruncate |
                                CFile::shareExclusive | CFile::typeText;
    bool opened = f.OpenIn(dir, CStoreErrorFile::kErrFileName, kFlags);
    for (int retry = 0; !opened && f.IsHeldElsewhere() && retry < kErrFileRetries; ++retry) {
        mlplat::SleepMs(2);
        opened = f.OpenIn(dir, CStoreErrorFile::kErrFileName, kFlags);
    }
    if (!opened)
        return false;
    if (f.GetLength() == 0) {
        CString header = HeaderLine1() + "\n" + HeaderLine2() + "\n";
        if (!f.WriteString(header))
            return false;
        f.SeekToBegin();
    }
    return true;
}

}  // namespace

int CStoreErrorFile::AddError(CString& strMsg) {
    mlplat::StoreDir* pDir = ErrorFileDir();
    CStdioFile f;
    if (!pDir || !OpenErrFile(f, *pDir))
        return 0;
    if (!strMsg.IsEmpty()) {
        // A line break inside a message would forge lines of its own, and an empty one would
        // hide every later message from GetErrStringArray. No GB2312 byte pair holds CR or LF.
        strMsg.Replace("\r", " ");
        strMsg.Replace("\n", " ");
        strMsg += '\n';
        f.SeekToEnd();
        f.WriteString(strMsg);
    }
    return 1;
}

void CStoreErrorFile::ReportError(const char* fmt, ...) {
    CString msg;
    va_list ap;
    va_start(ap, fmt);
    msg.FormatV(fmt, ap);
    va_end(ap);
    AddError(msg);
}

int CStoreErrorFile::GetErrStringArray(CStringArray& arr) {
    arr.RemoveAll();
    mlplat::StoreDir* pDir = ErrorFileDir();
    if (!pDir)
        return 0;
    // The file is held while its bytes are read and split: an append meanwhile waits for it,
    // and the bound keeps that wait well within an append's patience.
    CStdioFile f;
    if (!OpenErrFile(f, *pDir))
        return 0;
    ReadErrMessages(f, kErrReadMaxBytes, kErrHeadBytes, arr);
    return 1;
}

void CStoreErrorFile::ReadErrMessages(CFile& f, std::size_t nMaxBytes, std::size_t nHeadBytes,
                                      CStringArray& arr) {
    auto readRange = [&f](std::uint64_t at, std::uint64_t n, std::string& out) {
        out.resize(static_cast<std::size_t>(n));
        const long long got = f.ReadAt(at, out.data(), out.size());
        out.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    };
    const long long len = f.GetLength();
    const std::uint64_t n = len < 0 ? 0 : static_cast<std::uint64_t>(len);
    const bool bWhole = n <= nMaxBytes;
    std::string head, tail;
    readRange(0, bWhole ? n : std::min<std::uint64_t>(n, nHeadBytes), head);
    std::size_t pos = 0;
    CString line;
    if (!CStdioFile::NextLine(head, pos, line) || line != HeaderLine1()) {
        CString s;
        s.Format(gbtext::ErrFileIdBad, kErrFileId);
        arr.Add(s);
    }
    if (!CStdioFile::NextLine(head, pos, line) || line != HeaderLine2()) {
        CString s;
        s.Format(gbtext::ErrFileVersionBad, kFormatVersion);
        arr.Add(s);
    }
    if (!bWhole) {
        // From one byte before the cut (never the file's first: the file is longer than the
        // bound): the first line read is whole only when that byte ends a line; a line cut in
        // two (a header line longer than the head included) is left out.
        const std::uint64_t from = std::max<std::uint64_t>(n - nMaxBytes, pos);
        readRange(from - 1, n - from + 1, tail);
        const std::size_t nl = tail.find('\n');
        tail.erase(0, nl == std::string::npos ? tail.size() : nl + 1);
        pos = 0;
    }
    const std::string& text = bWhole ? head : tail;
    while (CStdioFile::NextLine(text, pos, line) && !line.IsEmpty())
        arr.Add(line);
}

int CStoreErrorFile::RemoveErrorFile() {
    if (mlplat::StoreDir* pDir = ErrorFileDir())
        pDir->Remove(kErrFileName);
    return 1;
}
