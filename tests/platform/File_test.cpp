// The platform's file classes: text files with CR LF on disk, the exclusive open, and the copy
// that replaces a file's bytes in place.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "File.h"
#include "FileSystem.h"
#include "TestSupport.h"

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
