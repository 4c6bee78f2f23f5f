// Record files: the new-file header, taking and releasing slots, walks, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "File.h"
#include "TagIndex.h"
#include "TestSupport.h"
#include "Vfs.h"

namespace {

constexpr int kSize = sizeof(Task_Info);  // 78

// A record file in a scratch directory, created as the store creates it.
struct RecFile {
    mltest::TempDir dir;
    std::string path = dir / "rec.tag";
    CFile f;
    RecFile() {
        EXPECT_TRUE(f.Open(path.c_str(), CFile::modeReadWrite | CFile::modeCreate |
                                             CFile::modeNoTruncate | CFile::typeBinary));
        unsigned char header[tagfile::kNewFileSize];
        tagfile::BuildNewFileHeader(header);
        EXPECT_TRUE(f.WriteAt(0, header, sizeof header));
    }
    std::uint32_t U32(std::uint64_t at) {
        std::uint32_t v = 0;
        EXPECT_TRUE(f.ReadExactAt(at, &v, 4));
        return v;
    }
    std::uint16_t U16(std::uint64_t at) {
        std::uint16_t v = 0;
        EXPECT_TRUE(f.ReadExactAt(at, &v, 2));
        return v;
    }
    void Put32(std::uint64_t at, std::uint32_t v) { ASSERT_TRUE(f.WriteAt(at, &v, 4)); }
    void Put16(std::uint64_t at, std::uint16_t v) { ASSERT_TRUE(f.WriteAt(at, &v, 2)); }
};

Task_Info Task(int nNo) {
    Task_Info t{};
    t.Reset();
    t.nNo = nNo;
    return t;
}

// Deletes as the engine does: flag first, then the slot goes on the list.
void Delete(RecFile& r, std::uint32_t off) {
    r.Put16(off + offsetof(Task_Info, wDeleted), 1);
    ASSERT_TRUE(tagfile::ReleaseSlot(r.f, kSize, off));
}

std::vector<int> LiveNumbers(RecFile& r) {
    std::vector<int> out;
    EXPECT_TRUE(tagfile::WalkLive<Task_Info>(r.f, [&](std::uint32_t, const Task_Info& t) {
        out.push_back(t.nNo);
        return true;
    }));
    return out;
}

}  // namespace

TEST(RecordFile, NewFileHeaderIsTheFortyTwoSpecifiedBytes) {
    unsigned char h[tagfile::kNewFileSize];
    tagfile::BuildNewFileHeader(h);
    std::string expected("ZORVEN_TEMPFILE", 15);
    expected += std::string(9, '\0');                // terminating zero, then 8 zero bytes
    expected += std::string("\x00\x00\x01\x00", 4);  // version 0x00010000
    expected += std::string(8, '\0');
    expected += std::string("\x28\x00\x00\x00", 4);  // F = 40
    expected += std::string(2, '\0');                // no released slot
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h), sizeof h), expected);
}

TEST(RecordFile, FirstRecordGoesToFortyAndMovesTheEnd) {
    RecFile r;
    Task_Info t = Task(7);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), 40);
    EXPECT_EQ(r.U32(36), 40u + kSize);
    EXPECT_EQ(r.U16(40 + kSize), 0);
    EXPECT_EQ(mltest::FileSize(r.path), 42 + kSize);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), 40 + kSize);
}

TEST(RecordFile, ReleasedSlotsAreReusedLastReleasedFirst) {
    RecFile r;
    std::uint32_t off[3];
    for (int i = 0; i < 3; ++i) {
        Task_Info t = Task(i + 1);
        off[i] = static_cast<std::uint32_t>(tagfile::TakeSlot(r.f, &t, kSize));
    }
    Delete(r, off[0]);
    Delete(r, off[2]);
    const std::uint32_t end = r.U32(36);
    EXPECT_EQ(r.U16(end), 2);
    EXPECT_EQ(r.U32(end + 2), off[0]);
    EXPECT_EQ(r.U32(end + 6), off[2]);
    Task_Info d = Task(4), e = Task(5);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &d, kSize), off[2]);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &e, kSize), off[0]);
    EXPECT_EQ(r.U16(end), 0);
    EXPECT_EQ(r.U32(36), end);  // nothing appended
    EXPECT_EQ(LiveNumbers(r), (std::vector<int>{5, 2, 4}));
}

TEST(RecordFile, ReleasingGrowsTheFileOnlyWhenTheListReachesFurther) {
    RecFile r;
    std::uint32_t off[2];
    for (int i = 0; i < 2; ++i) {
        Task_Info t = Task(i);
        off[i] = static_cast<std::uint32_t>(tagfile::TakeSlot(r.f, &t, kSize));
    }
    const long long base = mltest::FileSize(r.path);
    Delete(r, off[0]);
    EXPECT_EQ(mltest::FileSize(r.path), base + 4);
    Task_Info t = Task(9);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), off[0]);
    EXPECT_EQ(mltest::FileSize(r.path), base + 4);  // taking never shrinks
    Delete(r, off[1]);
    EXPECT_EQ(mltest::FileSize(r.path), base + 4);  // the old word is reused
    Delete(r, off[0]);
    EXPECT_EQ(mltest::FileSize(r.path), base + 8);
}

TEST(RecordFile, WalkSkipsDeletedRecordsAndCrossesBlocks) {
    RecFile r;
    // More records than one 256 KiB block holds.
    const int n = 4000;
    std::vector<std::uint32_t> offs;
    for (int i = 0; i < n; ++i) {
        Task_Info t = Task(i);
        offs.push_back(static_cast<std::uint32_t>(tagfile::TakeSlot(r.f, &t, kSize)));
    }
    for (int i = 0; i < n; i += 2)
        Delete(r, offs[i]);
    std::vector<int> live = LiveNumbers(r);
    ASSERT_EQ(live.size(), static_cast<size_t>(n / 2));
    for (int i = 0; i < n / 2; ++i)
        ASSERT_EQ(live[i], 2 * i + 1);
    for (int i = 1; i < n; i += 2)
        Delete(r, offs[i]);
    int visited = 0;
    EXPECT_TRUE(tagfile::WalkSlots(r.f, kSize, [&](std::uint32_t, const unsigned char*, size_t) {
        ++visited;
        return true;
    }));
    EXPECT_EQ(visited, n);  // every slot is visited
    EXPECT_TRUE(LiveNumbers(r).empty());
    // A list far longer than one read still gives its last word.
    Task_Info t = Task(-1);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), offs[n - 1]);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), offs[n - 3]);
}

TEST(RecordFile, SlotReaderGivesEachSlotWhateverTheOrderAndRefusesOthers) {
    RecFile r;
    const int n = 3000;  // beyond one 128 KiB block
    std::vector<std::uint32_t> offs;
    for (int i = 0; i < n; ++i) {
        Task_Info t = Task(i);
        offs.push_back(static_cast<std::uint32_t>(tagfile::TakeSlot(r.f, &t, kSize)));
    }
    tagfile::CSlotReader reader(r.f, kSize);
    for (int i : {n - 1, 0, 2000, 1999, 1, n - 1}) {
        size_t nAvail = 0;
        const unsigned char* p = reader.Slot(offs[i], nAvail);
        ASSERT_NE(p, nullptr) << i;
        EXPECT_EQ(nAvail, static_cast<size_t>(kSize));
        Task_Info t;
        std::memcpy(&t, p, sizeof t);
        EXPECT_EQ(t.nNo, i);
    }
    const std::uint32_t dwEnd = r.U32(36);
    for (std::uint32_t bad : {0u, 39u, 41u, dwEnd, dwEnd + kSize}) {
        size_t nAvail = 1;
        EXPECT_EQ(reader.Slot(bad, nAvail), nullptr) << bad;
        EXPECT_EQ(nAvail, 0u);
    }
}

TEST(RecordFile, DamagedEndWordFailsWithoutWriting) {
    for (std::uint32_t bad : {39u, 41u, 100000u, 0u}) {
        RecFile r;
        Task_Info t = Task(1);
        ASSERT_EQ(tagfile::TakeSlot(r.f, &t, kSize), 40);
        r.Put32(36, bad);
        const auto before = mltest::ReadFileBytes(r.path);
        EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), -1) << bad;
        EXPECT_FALSE(tagfile::ReleaseSlot(r.f, kSize, 40)) << bad;
        EXPECT_EQ(mltest::ReadFileBytes(r.path), before) << bad;
    }
}

TEST(RecordFile, DamagedReleasedOffsetFailsWithoutWriting) {
    // Outside the slot area, below it, off a slot boundary.
    for (std::uint32_t bad : {40u + 2 * kSize, 0u, 36u, 41u, 0xFFFFFFF0u}) {
        RecFile r;
        Task_Info t = Task(1);
        tagfile::TakeSlot(r.f, &t, kSize);
        tagfile::TakeSlot(r.f, &t, kSize);
        Delete(r, 40);
        const std::uint32_t end = r.U32(36);
        r.Put32(end + 2, bad);
        const auto before = mltest::ReadFileBytes(r.path);
        EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), -1) << bad;
        EXPECT_EQ(mltest::ReadFileBytes(r.path), before) << bad;
    }
}

TEST(RecordFile, ReleasingAnOffsetThatIsNoSlotIsRefused) {
    RecFile r;
    Task_Info t = Task(1);
    tagfile::TakeSlot(r.f, &t, kSize);
    const auto before = mltest::ReadFileBytes(r.path);
    for (std::uint32_t bad : {0u, 39u, 41u, 40u + kSize, 0x7FFFFFFFu})
        EXPECT_FALSE(tagfile::ReleaseSlot(r.f, kSize, bad)) << bad;
    EXPECT_EQ(mltest::ReadFileBytes(r.path), before);
}

TEST(RecordFile, CountBeyondTheFileFailsTheTake) {
    RecFile r;
    Task_Info t = Task(1);
    tagfile::TakeSlot(r.f, &t, kSize);
    r.Put16(40 + kSize, 3);  // three released slots that the file does not hold
    const auto before = mltest::ReadFileBytes(r.path);
    EXPECT_EQ(tagfile::TakeSlot(r.f, &t, kSize), -1);
    EXPECT_EQ(mltest::ReadFileBytes(r.path), before);
}

TEST(RecordFile, CountReachingPastTheFileFailsTheRelease) {
    RecFile r;
    Task_Info t = Task(1);
    tagfile::TakeSlot(r.f, &t, kSize);
    tagfile::TakeSlot(r.f, &t, kSize);
    r.Put16(40 + 2 * kSize, 5000);  // 5000 released slots, none of them in the file
    const auto before = mltest::ReadFileBytes(r.path);
    EXPECT_FALSE(tagfile::ReleaseSlot(r.f, kSize, 40));
    EXPECT_EQ(mltest::ReadFileBytes(r.path), before);
}

TEST(RecordFile, FailedWriteIsReportedAsFailure) {
    RecFile r;
    mlplat::VfsOps saved = mlplat::Vfs();
    mlplat::Vfs().pwrite = [](int, const void*, size_t, off_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    Task_Info t = Task(1);
    const long long got = tagfile::TakeSlot(r.f, &t, kSize);
    mlplat::Vfs() = saved;
    EXPECT_EQ(got, -1);
    EXPECT_EQ(r.U32(36), 40u);
}
