#include "filebplustreenode.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "BPlusTreeFileCheck.h"
#include "TestSupport.h"
#include "Vfs.h"

namespace {

using mltest::TempDir;

std::string KeyN(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "K%02d", i);
    return buf;
}

void PutLe32(std::vector<uint8_t>& b, size_t off, int32_t v) {
    for (int i = 0; i < 4; ++i)
        b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

std::string SaveAndCheck(FileBPlusTree& tree, const std::string& path,
                         std::map<std::string, int32_t>& entries) {
    if (!tree.SaveToFile(CString(path)))
        return "save failed";
    mltest::TreeFile file;
    std::string err = mltest::ParseTreeFile(mltest::ReadFileBytes(path), file);
    if (!err.empty())
        return err;
    return mltest::TreeChecker(file).Check(entries);
}

TEST(FileBPlusTree, ImageSizeFollowsTheSizingRule) {
    EXPECT_EQ(FileBPlusTree::ImageSize(10, 0), 1412);
    // t = 100: q = 20, 4; total 24 + 1 = 25 slots.
    EXPECT_EQ(FileBPlusTree::ImageSize(10, 100), 25 * 428 + 128);
    EXPECT_EQ(FileBPlusTree::ImageSize(2, 100), -1);
    EXPECT_EQ(FileBPlusTree::ImageSize(3, 2147483647), -1);  // would overflow: refused
}

TEST(FileBPlusTree, FindOnClosedOrEmptyTreeFailsWithStatusZero) {
    TempDir dir;
    FileBPlusTree tree;
    int value = 7, status = 9;
    EXPECT_EQ(tree.Find(CMyKey("a"), nullptr, &value, &status), 0);
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(tree.CreateInMemory(CString(dir / "t.bpt"), 10, 0));
    status = 9;
    EXPECT_EQ(tree.Find(CMyKey("a"), nullptr, &value, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tree.GetImageLength(), 1412);
    EXPECT_EQ(tree.Insert(CMyKey("a"), 1, 1, nullptr), 1);
    EXPECT_EQ(tree.Find(CMyKey("a")), 1);  // null out arguments are allowed
}

TEST(FileBPlusTree, FirstInsertMakesNodeZeroALeafRoot) {
    TempDir dir;
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(dir / "t.bpt"), 10, 0));
    ASSERT_EQ(tree.Insert(CMyKey("PT101"), 40, 1, nullptr), 1);
    EXPECT_EQ(tree.GetNodeCount(), 1);
    EXPECT_EQ(tree.GetRoot(), 0);
    EXPECT_EQ(tree.GetRecordCount(), 1);
    ASSERT_TRUE(tree.SaveToFile(CString()));
    auto b = mltest::ReadFileBytes(dir / "t.bpt");
    ASSERT_EQ(b.size(), 128u + 428u);
    EXPECT_EQ(mltest::Le32(b, 128 + 8), 1);    // key count
    EXPECT_EQ(mltest::Le32(b, 128 + 12), 1);   // leaf
    EXPECT_EQ(mltest::Le32(b, 128 + 16), -1);  // parent
    EXPECT_EQ(mltest::Le32(b, 128 + 20), 40);  // value
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[128 + 24])), "PT101");
    EXPECT_EQ(mltest::Le32(b, 128 + 20 + 36 * 10), -1);  // last leaf
}

TEST(FileBPlusTree, EleventhKeySplitsTheRootLeafSixFiveUnderANewRoot) {
    TempDir dir;
    const std::string path = dir / "split.bpt";
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(path), 10, 0));
    for (int i = 0; i < 11; ++i)
        ASSERT_EQ(tree.Insert(CMyKey(CString(KeyN(i))), 100 + i, 1, nullptr), 1) << i;
    ASSERT_TRUE(tree.SaveToFile(CString()));
    auto b = mltest::ReadFileBytes(path);
    const size_t S = 428;
    ASSERT_EQ(b.size(), 128 + 3 * S);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data())), "FileBPlusTree");
    EXPECT_EQ(b[20], 0);
    EXPECT_EQ(mltest::Le32(b, 52), 10);
    EXPECT_EQ(mltest::Le32(b, 56), 3);
    EXPECT_EQ(mltest::Le32(b, 60), 2);
    EXPECT_EQ(mltest::Le32(b, 64), 0);
    EXPECT_EQ(mltest::Le32(b, 68), 128);
    EXPECT_EQ(mltest::Le32(b, 72), 11);

    // The significant bytes of each slot, built from the record layout.
    auto expectSlot = [&](int num, int count, int leaf, int parent,
                          const std::vector<std::pair<int32_t, std::string>>& entries,
                          int32_t lastPtr) {
        std::vector<uint8_t> want(24 + 36 * 10, 0);
        PutLe32(want, 0, num);
        PutLe32(want, 4, 10);
        PutLe32(want, 8, count);
        PutLe32(want, 12, leaf);
        PutLe32(want, 16, parent);
        for (size_t i = 0; i < entries.size(); ++i) {
            PutLe32(want, 20 + 36 * i, entries[i].first);
            std::memcpy(&want[24 + 36 * i], entries[i].second.data(), entries[i].second.size());
        }
        PutLe32(want, 20 + 36 * 10, lastPtr);
        const uint8_t* got = b.data() + 128 + S * static_cast<size_t>(num);
        // Entries past the count are not significant; compare the live part and pointer m.
        size_t live = 20 + 36 * entries.size();
        EXPECT_EQ(0, std::memcmp(got, want.data(), live)) << "node " << num;
        EXPECT_EQ(mltest::Le32(b, 128 + S * static_cast<size_t>(num) + 20 + 36 * 10), lastPtr)
            << "node " << num;
    };
    std::vector<std::pair<int32_t, std::string>> left, right;
    for (int i = 0; i < 6; ++i)
        left.emplace_back(100 + i, KeyN(i));
    for (int i = 6; i < 11; ++i)
        right.emplace_back(100 + i, KeyN(i));
    expectSlot(0, 6, 1, 2, left, 1);
    expectSlot(1, 5, 1, 2, right, -1);
    // The root: pointer 0 = node 0, key 0 = the sixth smallest, pointer 1 = node 1.
    const size_t r = 128 + 2 * S;
    EXPECT_EQ(mltest::Le32(b, r + 0), 2);
    EXPECT_EQ(mltest::Le32(b, r + 8), 1);
    EXPECT_EQ(mltest::Le32(b, r + 12), 0);
    EXPECT_EQ(mltest::Le32(b, r + 16), -1);
    EXPECT_EQ(mltest::Le32(b, r + 20), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[r + 24])), KeyN(5));
    EXPECT_EQ(mltest::Le32(b, r + 56), 1);
}

TEST(FileBPlusTree, PresentKeyIsKeptWithoutReplaceAndReplacedWithIt) {
    TempDir dir;
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(dir / "t.bpt"), 3, 0));
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(tree.Insert(CMyKey(i), i * 10, 1, nullptr));
    int old = -5;
    EXPECT_EQ(tree.Insert(CMyKey(7), 999, 0, &old), 0);
    EXPECT_EQ(old, 70);
    int value = 0;
    EXPECT_EQ(tree.Find(CMyKey(7), nullptr, &value, nullptr), 1);
    EXPECT_EQ(value, 70);
    old = -5;
    EXPECT_EQ(tree.Insert(CMyKey(7), 0, 1, &old), 1);  // a removed name keeps its key
    EXPECT_EQ(old, 70);
    EXPECT_EQ(tree.Insert(CMyKey(7), 71, 1, &old), 1);  // and coming back does not count
    EXPECT_EQ(old, 0);
    EXPECT_EQ(tree.GetRecordCount(), 20);
    EXPECT_EQ(tree.Find(CMyKey(7), nullptr, &value, nullptr), 1);
    EXPECT_EQ(value, 71);
}

TEST(FileBPlusTree, FindOfAnAbsentKeyGivesTheNextGreaterOrStatusZero) {
    TempDir dir;
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(dir / "t.bpt"), 10, 0));
    for (const char* k : {"B", "D", "F"})
        ASSERT_TRUE(tree.Insert(CMyKey(k), k[0], 1, nullptr));
    CMyKey out;
    int value = 0, status = 0;
    EXPECT_EQ(tree.Find(CMyKey("C"), &out, &value, &status), 0);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(out.GetText(), "D");
    EXPECT_EQ(value, 'D');
    EXPECT_EQ(tree.Find(CMyKey("G"), &out, &value, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tree.Find(CMyKey("F"), &out, &value, &status), 1);
    EXPECT_EQ(status, 1);
}

TEST(FileBPlusTree, KeysAreByteOrderedAndCutAtThirtyOneBytes) {
    TempDir dir;
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(dir / "t.bpt"), 4, 0));
    std::string a = std::string(31, 'n') + "1", b = std::string(31, 'n') + "2";
    ASSERT_EQ(tree.Insert(CMyKey(CString(a)), 1, 1, nullptr), 1);
    int old = 0;
    EXPECT_EQ(tree.Insert(CMyKey(CString(b)), 2, 0, &old), 0);  // the same key
    EXPECT_EQ(old, 1);
    for (const char* k : {"a", "A", "9", "10", "Tag9", "Tag10"})
        ASSERT_TRUE(tree.Insert(CMyKey(k), 5, 1, nullptr));
    std::map<std::string, int32_t> entries;
    ASSERT_EQ(SaveAndCheck(tree, dir / "t.bpt", entries), "");
    std::vector<std::string> order;
    for (auto& e : entries)
        order.push_back(e.first);
    std::vector<std::string> want = {"10", "9", "A", "Tag10", "Tag9", "a", std::string(31, 'n')};
    EXPECT_EQ(order, want);
}

TEST(FileBPlusTree, ModesAndOrdersAreChecked) {
    TempDir dir;
    FileBPlusTree tree;
    EXPECT_EQ(tree.SaveToFile(CString(dir / "x.bpt")), 0);  // closed
    EXPECT_EQ(tree.CreateInMemory(CString(dir / "a.bpt"), 2, 0), 0);
    EXPECT_EQ(tree.CreateInMemory(CString(dir / "a.bpt"), 1, 0), 0);
    EXPECT_EQ(tree.CreateInMemory(CString(dir / "a.bpt"), 10, -1), 0);
    EXPECT_EQ(tree.CreateInMemory(CString(), 10, 0), 0);
    EXPECT_EQ(tree.CreateOnDisk(CString(dir / "d.bpt"), 1), 0);
    ASSERT_EQ(tree.CreateOnDisk(CString(dir / "d.bpt"), 2), 1);
    EXPECT_EQ(tree.SaveToFile(CString()), 0);  // disk mode
    // An open tree refuses to be made again, and keeps its path.
    EXPECT_EQ(tree.CreateInMemory(CString(dir / "other.bpt"), 10, 0), 0);
    EXPECT_EQ(tree.GetPath(), CString(dir / "d.bpt"));
    tree.Close();
    EXPECT_EQ(mltest::FileSize(dir / "d.bpt"), 76);
    EXPECT_EQ(tree.GetMode(), FileBPlusTree::kClosed);
}

TEST(FileBPlusTree, DiskModeTreeWorksInTheFileAndLoadsIntoMemory) {
    TempDir dir;
    const std::string path = dir / "disk.bpt";
    {
        FileBPlusTree tree;
        ASSERT_TRUE(tree.CreateOnDisk(CString(path), 4));
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(tree.Insert(CMyKey(i * 7 % 200), i, 1, nullptr), 1) << i;
        int value = -1;
        EXPECT_EQ(tree.Find(CMyKey(14), nullptr, &value, nullptr), 1);
        EXPECT_EQ(value, 2);
    }
    FileBPlusTree mem;
    ASSERT_TRUE(mem.LoadFromFile(CString(path)));
    std::map<std::string, int32_t> entries;
    ASSERT_EQ(SaveAndCheck(mem, path, entries), "");
    EXPECT_EQ(entries.size(), 200u);
    EXPECT_EQ(entries["14"], 2);
}

TEST(FileBPlusTree, HeaderOnlyFileIsRefusedAndSavedEmptyTreeLoads) {
    TempDir dir;
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateOnDisk(CString(dir / "h.bpt"), 10));
    tree.Close();
    EXPECT_EQ(tree.LoadFromFile(CString(dir / "h.bpt")), 0);
    EXPECT_EQ(tree.GetMode(), FileBPlusTree::kClosed);
    EXPECT_EQ(tree.GetOrder(), 0);

    ASSERT_TRUE(tree.CreateInMemory(CString(dir / "e.bpt"), 10, 0));
    ASSERT_TRUE(tree.SaveToFile(CString()));
    tree.Close();
    EXPECT_EQ(mltest::FileSize(dir / "e.bpt"), 128);
    ASSERT_EQ(tree.LoadFromFile(CString(dir / "e.bpt")), 1);
    EXPECT_EQ(tree.GetNodeCount(), 0);
    EXPECT_EQ(tree.GetImageLength(), 128);
    // The first node after a load grows the image by a hundred slots.
    ASSERT_EQ(tree.Insert(CMyKey("x"), 1, 1, nullptr), 1);
    EXPECT_EQ(tree.GetImageLength(), 128 + 100 * 428);
}

// A file of `nodes` slots of order 3 whose root, node 0, is a full leaf; the other slots are
// never reached.
std::string FullLeafFile(int nodes) {
    std::vector<uint8_t> b(128 + 148 * static_cast<size_t>(nodes), 0);
    std::memcpy(b.data(), "FileBPlusTree", 14);
    PutLe32(b, 52, 3);
    PutLe32(b, 56, nodes);
    PutLe32(b, 68, 128);
    PutLe32(b, 72, 3);
    PutLe32(b, 128 + 4, 3);
    PutLe32(b, 128 + 8, 3);
    PutLe32(b, 128 + 12, 1);
    PutLe32(b, 128 + 16, -1);
    for (int i = 0; i < 3; ++i) {
        PutLe32(b, 128 + 20 + 36 * static_cast<size_t>(i), i + 1);
        b[128 + 24 + 36 * static_cast<size_t>(i)] = static_cast<uint8_t>('a' + i);
    }
    PutLe32(b, 128 + 20 + 36 * 3, -1);
    return std::string(b.begin(), b.end());
}

TEST(FileBPlusTree, ImageStopsGrowingAtFiftyMillionBytes) {
    TempDir dir;
    // Growing by 100 slots from this size passes 50,000,000 bytes; from the smaller one it
    // stays just within.
    const int nTooMany = (50000000 - 128) / 148 - 99;
    const int nJustFits = nTooMany - 1;
    ASSERT_GT(128 + (int64_t(nTooMany) + 100) * 148, 50000000);
    ASSERT_LE(128 + (int64_t(nJustFits) + 100) * 148, 50000000);

    mltest::WriteFileBytes(dir / "full.bpt", FullLeafFile(nTooMany));
    FileBPlusTree tree;
    ASSERT_EQ(tree.LoadFromFile(CString(dir / "full.bpt")), 1);
    EXPECT_EQ(tree.Insert(CMyKey("d"), 4, 1, nullptr), 0);
    EXPECT_EQ(tree.GetNodeCount(), nTooMany);  // nothing of the insertion was written
    EXPECT_EQ(tree.GetRecordCount(), 3);
    EXPECT_EQ(tree.GetImageLength(), 128 + int64_t(nTooMany) * 148);
    EXPECT_EQ(tree.Find(CMyKey("d")), 0);
    EXPECT_EQ(tree.Find(CMyKey("c")), 1);
    tree.Close();

    mltest::WriteFileBytes(dir / "fits.bpt", FullLeafFile(nJustFits));
    ASSERT_EQ(tree.LoadFromFile(CString(dir / "fits.bpt")), 1);
    EXPECT_EQ(tree.Insert(CMyKey("d"), 4, 1, nullptr), 1);
    EXPECT_EQ(tree.GetImageLength(), 128 + (int64_t(nJustFits) + 100) * 148);
    EXPECT_EQ(tree.GetNodeCount(), nJustFits + 2);  // the new leaf and the new root
    int value = 0;
    EXPECT_EQ(tree.Find(CMyKey("d"), nullptr, &value, nullptr), 1);
    EXPECT_EQ(value, 4);
}

// Builds a small sound file, lets `damage` change its bytes, and expects loading and using it
// to fail or behave, never to crash (the sanitizers watch).
void ExpectDamageRefused(const std::function<void(std::vector<uint8_t>&)>& damage,
                         bool bLoadMustFail) {
    TempDir dir;
    const std::string path = dir / "d.bpt";
    {
        FileBPlusTree tree;
        ASSERT_TRUE(tree.CreateInMemory(CString(path), 3, 0));
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(tree.Insert(CMyKey(i), i, 1, nullptr));
        ASSERT_TRUE(tree.SaveToFile(CString()));
    }
    auto b = mltest::ReadFileBytes(path);
    damage(b);
    mltest::WriteFileBytes(path, std::string(b.begin(), b.end()));
    FileBPlusTree tree;
    int loaded = tree.LoadFromFile(CString(path));
    if (bLoadMustFail) {
        EXPECT_EQ(loaded, 0);
        EXPECT_EQ(tree.GetMode(), FileBPlusTree::kClosed);
        return;
    }
    ASSERT_EQ(loaded, 1);
    int found = 0;
    for (int i = 0; i < 40; ++i)
        found += tree.Find(CMyKey(i), nullptr, nullptr, nullptr);
    EXPECT_LT(found, 40);  // the damage is on every path from the root
    for (int i = 100; i < 140; ++i)
        tree.Insert(CMyKey(i), i, 1, nullptr);
    tree.SaveToFile(CString());
}

TEST(FileBPlusTree, DamagedHeadersAreRefusedOnLoad) {
    ExpectDamageRefused([](auto& b) { PutLe32(b, 52, 2); }, true);           // order 2
    ExpectDamageRefused([](auto& b) { PutLe32(b, 52, 2000000000); }, true);  // slot overflow
    ExpectDamageRefused([](auto& b) { PutLe32(b, 56, 0x7fffffff); }, true);  // node count
    ExpectDamageRefused([](auto& b) { PutLe32(b, 56, -3); }, true);
    ExpectDamageRefused([](auto& b) { PutLe32(b, 68, -128); }, true);    // data offset
    ExpectDamageRefused([](auto& b) { PutLe32(b, 60, 9999); }, true);    // root
    ExpectDamageRefused([](auto& b) { b[3] = 'X'; }, true);              // identification
    ExpectDamageRefused([](auto& b) { b.resize(b.size() - 1); }, true);  // cut short
}

TEST(FileBPlusTree, DamagedNodesMakeOperationsFail) {
    // The root (last node of this tree) names a child out of range, has too many keys, or
    // points at itself.
    auto rootOff = [](const std::vector<uint8_t>& b) {
        return 128 + 148 * static_cast<size_t>(mltest::Le32(b, 60));
    };
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 20, 5000); }, false);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 20, -7); }, false);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 8, 4); }, false);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 12, 7); }, false);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 4, 4); }, false);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 0, 0); }, false);
    ExpectDamageRefused(
        [&](auto& b) {
            size_t r = rootOff(b);
            for (int i = 0; i <= mltest::Le32(b, r + 8); ++i)
                PutLe32(b, r + 20 + 36 * static_cast<size_t>(i), mltest::Le32(b, 60));
        },
        false);
}

TEST(FileBPlusTree, FailedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir / "keep.bpt";
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(path), 10, 0));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(tree.Insert(CMyKey(i), i, 1, nullptr));
    ASSERT_TRUE(tree.SaveToFile(CString()));
    const auto before = mltest::ReadFileBytes(path);
    for (int i = 50; i < 500; ++i)
        ASSERT_TRUE(tree.Insert(CMyKey(i), i, 1, nullptr));

    mlplat::VfsOps saved = mlplat::Vfs();
    mlplat::Vfs().pwrite = [](int, const void*, size_t, off_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    int r = tree.SaveToFile(CString());
    mlplat::Vfs() = saved;
    EXPECT_EQ(r, 0);
    EXPECT_EQ(mltest::ReadFileBytes(path), before);
    // No temporary file is left beside it.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
    // The next save goes through.
    std::map<std::string, int32_t> entries;
    ASSERT_EQ(SaveAndCheck(tree, path, entries), "");
    EXPECT_EQ(entries.size(), 500u);
}

}  // namespace

namespace {

TEST(FileBPlusTree, FullLeafOfOrderTenSplitsSixFiveWhereverTheNewKeyFalls) {
    for (int pos = 0; pos <= 10; ++pos) {
        TempDir dir;
        const std::string path = dir / "p.bpt";
        FileBPlusTree tree;
        ASSERT_TRUE(tree.CreateInMemory(CString(path), 10, 0));
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(tree.Insert(CMyKey(CString(KeyN(2 * i + 2))), i, 1, nullptr));
        // K01 falls before every key, K03 after the first, ..., K21 after the last.
        ASSERT_TRUE(tree.Insert(CMyKey(CString(KeyN(2 * pos + 1))), 99, 1, nullptr));
        ASSERT_TRUE(tree.SaveToFile(CString()));
        auto b = mltest::ReadFileBytes(path);
        ASSERT_EQ(b.size(), 128u + 3 * 428u);
        EXPECT_EQ(mltest::Le32(b, 128 + 8), 6) << "new key at " << pos;
        EXPECT_EQ(mltest::Le32(b, 128 + 428 + 8), 5) << "new key at " << pos;
        // The separator is the left leaf's greatest key.
        const std::string sep(reinterpret_cast<char*>(&b[128 + 2 * 428 + 24]));
        const std::string leftLast(reinterpret_cast<char*>(&b[128 + 24 + 36 * 5]));
        EXPECT_EQ(sep, leftLast);
        int value = 0;
        EXPECT_EQ(tree.Find(CMyKey(CString(KeyN(2 * pos + 1))), nullptr, &value, nullptr), 1);
        EXPECT_EQ(value, 99);
    }
}

}  // namespace

namespace {

TEST(FileBPlusTree, RecordCountAtItsMaximumStaysThere) {
    TempDir dir;
    const std::string path = dir / "max.bpt";
    auto b = mltest::ReadFileBytes([&] {
        FileBPlusTree tree;
        tree.CreateInMemory(CString(path), 10, 0);
        tree.Insert(CMyKey("a"), 1, 1, nullptr);
        tree.SaveToFile(CString());
        return path;
    }());
    PutLe32(b, 72, 0x7fffffff);
    mltest::WriteFileBytes(path, std::string(b.begin(), b.end()));
    FileBPlusTree tree;
    ASSERT_EQ(tree.LoadFromFile(CString(path)), 1);
    EXPECT_EQ(tree.Insert(CMyKey("b"), 2, 1, nullptr), 1);
    EXPECT_EQ(tree.GetRecordCount(), 0x7fffffff);
}

}  // namespace
