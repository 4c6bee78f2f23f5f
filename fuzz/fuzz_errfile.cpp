// The error file reader: the input's first two bytes choose the bounds (in bytes), the rest is
// the file. Whatever the bytes and bounds, the messages read fit the bound, each is a whole line
// of the file, and with bounds as large as the file the read is the unbounded one.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzScratch.h"
#include "File.h"
#include "FileDypass.h"

namespace {

const std::string& Path() {
    static const std::string path = (fuzzscratch::Dir("errfile") / "TempErrFile.txt").string();
    return path;
}

std::vector<std::string> Read(std::size_t nMax, std::size_t nHead) {
    CFile f;
    if (!f.Open(Path().c_str(), CFile::modeRead))
        std::abort();
    CStringArray arr;
    CFileDypass::ReadErrMessages(f, nMax, nHead, arr);
    std::vector<std::string> lines;
    for (const CString& s : arr)
        lines.push_back(s.str());
    return lines;
}

// An empty file gives the two header complaints alone: the texts that may lead a read.
const std::vector<std::string>& Complaints() {
    static const std::vector<std::string> texts = [] {
        CFile f;
        if (!f.Open(Path().c_str(), CFile::modeCreate | CFile::modeReadWrite) || !f.SetLength(0))
            std::abort();
        return Read(SIZE_MAX, SIZE_MAX);
    }();
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t nMax = data[0], nHead = data[1];
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    if (Complaints().size() != 2)
        std::abort();
    {
        CFile f;
        if (!f.Open(Path().c_str(), CFile::modeCreate | CFile::modeReadWrite) ||
            !f.WriteAt(0, text.data(), text.size()))
            std::abort();
    }
    const std::vector<std::string> whole = Read(SIZE_MAX, SIZE_MAX);
    const std::vector<std::string> cut = Read(nMax, nHead);
    if (text.size() <= nMax && cut != whole)
        std::abort();
    const std::string lines = "\n" + text + "\n";
    std::size_t i = 0, nBytes = 0;
    for (const std::string& c : Complaints()) {
        if (i < cut.size() && cut[i] == c)
            ++i;
    }
    for (; i < cut.size(); ++i) {
        const std::string& m = cut[i];
        if (m.empty() || m.find('\n') != std::string::npos)
            std::abort();
        if (lines.find("\n" + m + "\n") == std::string::npos &&
            lines.find("\n" + m + "\r\n") == std::string::npos)
            std::abort();
        nBytes += m.size() + 1;  // its line end (the file's last line may have none)
    }
    if (text.size() > nMax && nBytes > nMax + 1)
        std::abort();
    return 0;
}
