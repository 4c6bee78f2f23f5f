// The platform's file classes: text files with CR LF on disk, the exclusive open, and the copy
// that replaces a file's bytes in place, reads through mappings.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "File.h"
#include "FileSystem.h"
#include "TestSupport.h"
#include "Vfs.h"

using mltest::TempDir;

TEST(StdioFile, NewLinesAreCrLfOnDiskAndLinesComeBackWithoutTheirEnds) {
    TempDir dir;
    const std::string path = dir / "text.txt";
    CStdioFile out;
    ASSERT_TRUE(out.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeText));
    ASSERT_TRUE(out.WriteString("one\ntwo\n"));
    out.Close();
    EXPECT_EQ(mltest::ReadFileText(path), "one\r\ntwo\r\n");

    mltest::WriteFileBytes(path, "a\r\nb\nc\r\n");
    CStdioFile in;
    ASSERT_TRUE(in.Open(path.c_str(), CFile::modeRead | CFile::typeText));
    std::vector<std::string> lines;
    CString line;
    while (in.ReadString(line))
        lines.push_back(line.str());
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(File, SecondExclusiveOpenFailsUntilTheFirstCloses) {
    TempDir dir;
    const std::string path = dir / "held";
    mltest::WriteFileBytes(path, "x");
    const unsigned flags = CFile::modeReadWrite | CFile::shareExclusive;
    CFile first, second;
    ASSERT_TRUE(first.Open(path.c_str(), flags));
    errno = 0;
    EXPECT_FALSE(second.Open(path.c_str(), flags));
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_FALSE(second.IsOpen());
    first.Close();
    EXPECT_TRUE(second.Open(path.c_str(), flags));
}

TEST(CopyFileReplace, AProgramHoldingTheTargetOpenSeesTheNewBytesOverALengthKept) {
    TempDir dir;
    const std::string to = dir / "to";
    mltest::WriteFileBytes(dir / "from", "new");
    mltest::WriteFileBytes(to, "old and longer");
    CFile held;
    ASSERT_TRUE(held.Open(to.c_str(), CFile::modeRead));
    mlplat::StoreDir store;
    ASSERT_TRUE(store.Open(dir.path()));
    ASSERT_TRUE(mlplat::CopyFileReplace(store, "from", "to"));
    std::string seen;
    ASSERT_TRUE(held.ReadAll(seen));
    // Never cut: a reader mapping the target must not meet a shorter file.
    EXPECT_EQ(seen, "new and longer");
}

// A mapped read is bounded by the size known to exist: bytes another descriptor adds past it
// are found by one fstat, a read past the end comes back short, and a file that cannot be
// mapped reads the same through pread.
TEST(MappedReads, BytesAddedElsewhereAndOwnWritesReadBackAndAFailedMapFallsBack) {
    auto check = [](const std::string& path) {
        CFile f;
        ASSERT_TRUE(f.Open(path.c_str(), CFile::modeReadWrite));
        char buf[8] = {};
        ASSERT_TRUE(f.ReadExactAt(0, buf, 4));
        EXPECT_EQ(std::string(buf, 4), "head");
        CFile other;
        ASSERT_TRUE(other.Open(path.c_str(), CFile::modeReadWrite));
        ASSERT_TRUE(other.WriteAt(4, "tail", 4));
        ASSERT_TRUE(f.ReadExactAt(4, buf, 4));
        EXPECT_EQ(std::string(buf, 4), "tail");
        ASSERT_TRUE(f.WriteAt(8, "mine", 4));
        EXPECT_EQ(f.ReadOnceAt(6, buf, 8), 6);
        EXPECT_EQ(std::string(buf, 6), "ilmine");
        EXPECT_FALSE(f.ReadExactAt(10, buf, 4));
    };
    TempDir dir;
    mltest::WriteFileBytes(dir / "mapped", "head");
    check(dir / "mapped");

    mlplat::VfsOps saved = mlplat::Vfs();
    mlplat::Vfs().map = [](int, size_t) -> void* {
        errno = ENODEV;
        return reinterpret_cast<void*>(-1);
    };
    mltest::WriteFileBytes(dir / "unmapped", "head");
    check(dir / "unmapped");
    mlplat::Vfs() = saved;
}
