// FIFOs and devices where the store expects its files: each is treated as a file that cannot be
// read, never waited on. Every case runs in a child with a time limit, so that a regression
// fails the test instead of hanging the whole run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "EngineFixture.h"
#include "ProcessSupport.h"

using enginetest::EngineTest;

namespace {

constexpr int kLimitMs = 20000;

class UnreadableFiles : public EngineTest {
protected:
    void SetUp() override {
        ASSERT_EQ(Add(2, 2, "OLD1"), 40);
        engine.reset();  // the Brakk tree is saved with the name
    }
    void MakeFifo(const std::string& name) {
        std::remove(Path(name).c_str());
        ASSERT_EQ(mkfifo(Path(name).c_str(), 0666), 0);
    }
    void LinkToDevice(const std::string& name, const char* device) {
        std::remove(Path(name).c_str());
        ASSERT_EQ(symlink(device, Path(name).c_str()), 0);
    }
    template <class Fn>
    int InChild(Fn&& fn) {
        return proctest::WaitBounded(proctest::Spawn(std::forward<Fn>(fn)), kLimitMs);
    }
    static bool Finds(CFileDypass& e, const char* name) {
        CMemTag tag;
        return e.GetTagByName(name, tag) == 1;
    }
};

}  // namespace

TEST_F(UnreadableFiles, TreeFileThatIsAFifoOrADeviceIsRebuiltFromTheIndex) {
    for (const char* device : {"fifo", "/dev/zero"}) {
        if (std::string(device) == "fifo")
            MakeFifo("TmpBRKTagIndex.bpt");
        else
            LinkToDevice("TmpBRKTagIndex.bpt", device);
        EXPECT_EQ(InChild([&] {
                      CFileDypass e;
                      if (!Finds(e, "OLD1"))
                          return 1;
                      auto t = enginetest::MakeTag(3, "NEW");
                      return Add(3, 2, t, &e) > 0 ? 0 : 2;
                  }),
                  0)
            << device;
    }
}

TEST_F(UnreadableFiles, AreaFileThatIsAFifoOrADeviceGivesTheBuiltInArea) {
    mltest::ScopedEnv areas("QLX_PATH_D_AREAINFO", dir.path().c_str());
    for (const char* device : {"fifo", "/dev/zero"}) {
        if (std::string(device) == "fifo")
            MakeFifo("ARInfo.xml");
        else
            LinkToDevice("ARInfo.xml", device);
        EXPECT_EQ(InChild([] {
                      CFileDypass e;
                      CDWordArray nos;
                      CStringArray names, descs;
                      e.GetAllAreaInfo(nos, names, descs);
                      return nos.GetSize() == 1 && nos[0] == 0 ? 0 : 1;
                  }),
                  0)
            << device;
    }
}

TEST_F(UnreadableFiles, RecordFileThatIsAFifoIsNotOpenAndTheRestWorks) {
    MakeFifo("TmpBrakkIntTagInfo.tag");
    EXPECT_EQ(InChild([&] {
                  CFileDypass e;
                  auto i = enginetest::MakeTag(2, "INT2");
                  auto b = enginetest::MakeTag(1, "BOOL");
                  if (Add(2, 2, i, &e) >= 0)
                      return 1;  // no integer record file to write into
                  if (Add(1, 2, b, &e) < 0 || !Finds(e, "BOOL"))
                      return 2;
                  // Backing up copies what is open and does not wait on the FIFO either.
                  return e.BackupAsOldFile(2) == 1 ? 0 : 3;
              }),
              0);
    struct stat st;
    ASSERT_EQ(lstat(Path("TmpBrakkIntTagInfo.tag").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));  // left as it was
}

TEST_F(UnreadableFiles, ErrorFileThatIsAFifoFailsAppendAndRead) {
    MakeFifo("TempErrFile.txt");
    EXPECT_EQ(InChild([] {
                  CFileDypass e;
                  CString msg("lost");
                  CStringArray arr;
                  return e.AddError(msg) == 0 && e.GetErrStringArray(arr) == 0 && arr.GetSize() == 0
                             ? 0
                             : 1;
              }),
              0);
}

TEST_F(UnreadableFiles, TreeWhoseChildrenPointAtItsRootIsRebuiltFromTheIndex) {
    engine = std::make_unique<CFileDypass>();
    for (int i = 0; i < 12; ++i)  // enough to put an internal node at the root
        ASSERT_GT(Add(1, 2, "N" + std::to_string(i)), 0);
    engine.reset();
    auto b = Bytes("TmpBRKTagIndex.bpt");
    const std::uint32_t root = enginetest::U32(b, 60);
    const size_t off = 128 + 428 * static_cast<size_t>(root);
    ASSERT_EQ(enginetest::U32(b, off + 12), 0u);
    for (std::uint32_t i = 0; i <= enginetest::U32(b, off + 8); ++i)
        std::memcpy(&b[off + 20 + 36 * i], &root, 4);
    mltest::WriteFileBytes(Path("TmpBRKTagIndex.bpt"), std::string(b.begin(), b.end()));
    CFileDypass e;
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(Finds(e, ("N" + std::to_string(i)).c_str())) << i;
    EXPECT_TRUE(Finds(e, "OLD1"));
}
