#include "filebplustreenode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <random>
#include <string>

#include "BPlusTreeFileCheck.h"
#include "TestSupport.h"
#include "ProcessSupport.h"
#include "SynchronicLock.h"
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

// A sound order-3 tree file of `leaves` leaves of two keys ("k0000000", ...), each internal
// node over two children (three for the last of an odd row). Returns its node count.
int WriteBinaryTree(const std::string& path, int leaves) {
    constexpr size_t kS = 148;
    struct Made {
        int num;
        std::string maxKey;
    };
    std::vector<uint8_t> b(128, 0);
    auto node = [&](int bLeaf) {
        const int num = static_cast<int>((b.size() - 128) / kS);
        b.resize(b.size() + kS, 0);
        const size_t o = 128 + kS * static_cast<size_t>(num);
        PutLe32(b, o, num);
        PutLe32(b, o + 4, 3);
        PutLe32(b, o + 12, bLeaf);
        PutLe32(b, o + 16, -1);
        return o;
    };
    auto key = [&](size_t o, int i, const std::string& k) {
        std::memcpy(&b[o + 24 + 36 * static_cast<size_t>(i)], k.data(), k.size());
    };
    std::vector<Made> row;
    for (int l = 0; l < leaves; ++l) {
        const size_t o = node(1);
        PutLe32(b, o + 8, 2);
        for (int i = 0; i < 2; ++i) {
            char k[16];
            std::snprintf(k, sizeof k, "k%07d", 2 * l + i);
            key(o, i, k);
            PutLe32(b, o + 20 + 36 * static_cast<size_t>(i), 2 * l + i + 1);
            if (i == 1)
                row.push_back({mltest::Le32(b, o), k});
        }
        PutLe32(b, o + 20 + 36 * 3, l + 1 < leaves ? mltest::Le32(b, o) + 1 : -1);
    }
    while (row.size() > 1) {
        std::vector<Made> up;
        for (size_t c = 0; c < row.size();) {
            const size_t take = row.size() - c == 3 ? 3 : 2;
            const size_t o = node(0);
            PutLe32(b, o + 8, static_cast<int32_t>(take) - 1);
            for (size_t i = 0; i < take; ++i) {
                PutLe32(b, o + 20 + 36 * i, row[c + i].num);
                PutLe32(b, 128 + kS * static_cast<size_t>(row[c + i].num) + 16, mltest::Le32(b, o));
                if (i + 1 < take)
                    key(o, static_cast<int>(i), row[c + i].maxKey);
            }
            up.push_back({mltest::Le32(b, o), row[c + take - 1].maxKey});
            c += take;
        }
        row.swap(up);
    }
    const int nodes = static_cast<int>((b.size() - 128) / kS);
    std::memcpy(b.data(), "FileBPlusTree", 14);
    PutLe32(b, 52, 3);
    PutLe32(b, 56, nodes);
    PutLe32(b, 60, row[0].num);
    PutLe32(b, 68, 128);
    PutLe32(b, 72, 2 * leaves);
    mltest::WriteFileBytes(path, std::string(b.begin(), b.end()));
    return nodes;
}

// A tree whose image can grow just once more, filled until the image limit refuses a key:
// every key taken before must still be there and the tree must stay sound, wherever in a chain
// of splits the last slot was taken.
TEST(FileBPlusTree, NoKeyIsLostWhenTheImageLimitIsReached) {
    TempDir dir;
    const std::string path = dir / "limit.bpt";
    // Slots the limit allows; the loaded tree must be able to grow once by 100, not twice.
    const int64_t nSlots = (FileBPlusTree::kMaxImage - 128) / 148;
    auto nodesOf = [](int64_t l) {
        int64_t n = l;
        for (int64_t row = l; row > 1; row /= 2)
            n += row / 2;
        return n;
    };
    int leaves = static_cast<int>(nSlots / 2) - 60;
    while (nodesOf(leaves) + 200 <= nSlots)
        ++leaves;
    const int nodes = WriteBinaryTree(path, leaves);
    ASSERT_EQ(nodes, nodesOf(leaves));
    ASSERT_LE(nodes + 100, nSlots);
    const int nOld = 2 * leaves;
    // Keys first put at the left edge shift where the growth runs out against the chains of
    // splits that the keys at the right edge cause.
    for (int shift = 0; shift < 2; ++shift) {
        FileBPlusTree tree;
        ASSERT_EQ(tree.LoadFromFile(CString(path)), 1);
        for (int i = 0; i < 2 * shift; ++i)
            ASSERT_TRUE(tree.Insert(CMyKey("a" + std::to_string(i)), 1, 1, nullptr));
        int nNew = 0;
        for (;; ++nNew) {
            char k[16];
            std::snprintf(k, sizeof k, "m%07d", nNew);
            const int nBefore = tree.GetNodeCount();
            if (!tree.Insert(CMyKey(k), nNew + 1, 1, nullptr)) {
                EXPECT_EQ(tree.GetNodeCount(), nBefore) << "a refused key took nodes";
                break;
            }
        }
        EXPECT_LE(tree.GetImageLength(), FileBPlusTree::kMaxImage);
        std::vector<FileBPlusTree::Fault> faults;
        EXPECT_TRUE(tree.CheckStructure(faults))
            << "shift " << shift << ": " << (faults.empty() ? "" : faults[0].strText.str());
        EXPECT_EQ(tree.GetRecordCount(), nOld + 2 * shift + nNew);
        for (int i = 0; i < nNew; ++i) {
            char k[16];
            std::snprintf(k, sizeof k, "m%07d", i);
            ASSERT_EQ(tree.Find(CMyKey(k)), 1) << "shift " << shift << " key " << k;
        }
    }
}

// Makes `tree` a memory tree of keys 0..n-1, each holding its own number, saved over `path`.
void SaveNumbered(FileBPlusTree& tree, const std::string& path, int nOrder, int n) {
    ASSERT_TRUE(tree.CreateInMemory(CString(path), nOrder, 0));
    for (int i = 0; i < n; ++i)
        ASSERT_TRUE(tree.Insert(CMyKey(i), i, 1, nullptr));
    ASSERT_TRUE(tree.SaveToFile(CString()));
}

// Builds a small sound file, lets `damage` change its bytes, and expects loading and using it
// to fail or behave, never to crash (the sanitizers watch).
void ExpectDamageRefused(const std::function<void(std::vector<uint8_t>&)>& damage,
                         bool bLoadMustFail) {
    TempDir dir;
    const std::string path = dir / "d.bpt";
    {
        FileBPlusTree tree;
        ASSERT_NO_FATAL_FAILURE(SaveNumbered(tree, path, 3, 40));
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

TEST(FileBPlusTree, DamagedNodesAreRefusedOnLoad) {
    // The root (last node of this tree) names a child out of range, has too many keys, or
    // has every child pointing back at it (which once loaded and answered half the names).
    auto rootOff = [](const std::vector<uint8_t>& b) {
        return 128 + 148 * static_cast<size_t>(mltest::Le32(b, 60));
    };
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 20, 5000); }, true);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 20, -7); }, true);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 8, 4); }, true);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 12, 7); }, true);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 4, 4); }, true);
    ExpectDamageRefused([&](auto& b) { PutLe32(b, rootOff(b) + 0, 0); }, true);
    ExpectDamageRefused(
        [&](auto& b) {
            size_t r = rootOff(b);
            for (int i = 0; i <= mltest::Le32(b, r + 8); ++i)
                PutLe32(b, r + 20 + 36 * static_cast<size_t>(i), mltest::Le32(b, 60));
        },
        true);
}

// The check names each damage at its place: a leaf chain that skips a leaf, a node no pointer
// reaches, keys out of order in a leaf, a record count that disagrees with the keys.
TEST(FileBPlusTree, CheckNamesEachDamageWhereItLies) {
    TempDir dir;
    const std::string path = dir / "d.bpt";
    {
        FileBPlusTree tree;
        ASSERT_NO_FATAL_FAILURE(SaveNumbered(tree, path, 3, 40));
    }
    const std::vector<uint8_t> sound = mltest::ReadFileBytes(path);
    constexpr size_t kSlot = 148, kLink = 20 + 36 * 3;  // order 3
    auto node = [](int32_t n) { return 128 + kSlot * static_cast<size_t>(n); };
    // Whether the check of the damaged file finds `text` at `off`; the load refuses a file whose
    // structure is damaged.
    auto finds = [&](const std::function<void(std::vector<uint8_t>&)>& damage, bool bStructure,
                     int64_t off, const std::string& text) {
        auto b = sound;
        damage(b);
        mltest::WriteFileBytes(path, std::string(b.begin(), b.end()));
        FileBPlusTree loaded;
        EXPECT_EQ(loaded.LoadFromFile(CString(path)), bStructure ? 0 : 1) << text;
        FileBPlusTree tree;
        std::vector<FileBPlusTree::Fault> faults;
        EXPECT_EQ(tree.LoadForCheck(CString(path)), 1);
        EXPECT_FALSE(tree.CheckStructure(faults));
        for (const auto& f : faults) {
            if (f.nOffset == off && f.strText.str() == text)
                return true;
        }
        return false;
    };
    ASSERT_EQ(mltest::Le32(sound, node(0) + 12), 1) << "node 0 is the leftmost leaf";
    ASSERT_GE(mltest::Le32(sound, node(0) + 8), 2);
    const int32_t next = mltest::Le32(sound, node(0) + kLink);
    const int32_t after = mltest::Le32(sound, node(next) + kLink);
    EXPECT_TRUE(
        finds([&](auto& b) { PutLe32(b, node(0) + kLink, after); }, true, node(0) + kLink,
              "leaf 0 links to " + std::to_string(after) + " instead of " + std::to_string(next)));
    const int32_t nNodes = mltest::Le32(sound, 56);
    EXPECT_TRUE(finds(
        [&](auto& b) {
            b.resize(b.size() + kSlot);
            PutLe32(b, 56, nNodes + 1);
        },
        true, node(nNodes), "node " + std::to_string(nNodes) + " is not reached from the root"));
    EXPECT_TRUE(finds(
        [&](auto& b) {
            std::swap_ranges(b.begin() + node(0) + 24, b.begin() + node(0) + 56,
                             b.begin() + node(0) + 60);
        },
        true, node(0) + 60, "key 1 of node 0 is not above the one before"));
    EXPECT_TRUE(
        finds([&](auto& b) { PutLe32(b, 72, 41); }, false, 72, "record count 41 for 40 keys"));
}

TEST(FileBPlusTree, FailedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir / "keep.bpt";
    FileBPlusTree tree;
    ASSERT_NO_FATAL_FAILURE(SaveNumbered(tree, path, 10, 50));
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

namespace {

// A header-only tree file of order m that claims `nodes` nodes, its length made to match
// without writing the bytes (a sparse file).
void WriteClaimingFile(const std::string& path, int32_t m, int32_t nodes) {
    std::vector<uint8_t> b(128, 0);
    std::memcpy(b.data(), "FileBPlusTree", 14);
    PutLe32(b, 52, m);
    PutLe32(b, 56, nodes);
    PutLe32(b, 68, 128);
    mltest::WriteFileBytes(path, std::string(b.begin(), b.end()));
    std::filesystem::resize_file(path, 128 + static_cast<uintmax_t>(nodes) * (28 + 40 * m));
}

TEST(FileBPlusTree, ClaimsBeyondTheImageLimitAreRefusedOnLoad) {
    TempDir dir;
    FileBPlusTree tree;
    WriteClaimingFile(dir / "huge.bpt", 10, 5017000);  // 2 GiB of holes
    EXPECT_EQ(tree.LoadFromFile(CString(dir / "huge.bpt")), 0);
    // An order no image can grow under: the first node after the load needs 100 slots.
    WriteClaimingFile(dir / "wide.bpt", FileBPlusTree::kMaxLoadOrder + 1, 0);
    EXPECT_EQ(tree.LoadFromFile(CString(dir / "wide.bpt")), 0);
    WriteClaimingFile(dir / "wide.bpt", 1249996, 0);
    EXPECT_EQ(tree.LoadFromFile(CString(dir / "wide.bpt")), 0);
    WriteClaimingFile(dir / "wide.bpt", FileBPlusTree::kMaxLoadOrder, 0);
    ASSERT_EQ(tree.LoadFromFile(CString(dir / "wide.bpt")), 1);
    EXPECT_EQ(tree.Insert(CMyKey("a"), 1, 1, nullptr), 1);
}

TEST(FileBPlusTree, LoadThatTimesOutKeepsTheLockObject) {
    TempDir dir;
    const std::string path = dir / "held.bpt";
    {
        FileBPlusTree t;
        ASSERT_TRUE(t.CreateInMemory(CString(path), 10, 0));
        ASSERT_TRUE(t.SaveToFile(CString()));
    }
    const std::string name = "held.bpt";
    CSynchronicLock saver;
    ASSERT_EQ(saver.Create(CString(name), 1), 1);
    ASSERT_EQ(saver.TryWriteLock(500), 1);
    FileBPlusTree tree;
    ASSERT_EQ(tree.LoadFromFile(CString(path)), 0);
    saver.WriteUnlock();
    saver.Release();
    // The tree is still attached to the block, so it lives on after the saver let go.
    CSynchronicLock probe;
    EXPECT_EQ(probe.Create(CString(name), 0), 1);
    EXPECT_EQ(tree.LoadFromFile(CString(path)), 1);
}

// A tree of `n` keys saved over `path`, and whether its file reads back with all of them.
bool SaveKeys(const std::string& path, int n) {
    FileBPlusTree tree;
    if (!tree.CreateInMemory(CString(path), 10, 0))
        return false;
    for (int i = 0; i < n; ++i)
        tree.Insert(CMyKey(i), i + 1, 1, nullptr);
    return tree.SaveToFile(CString()) == 1;
}
bool HoldsKeys(const std::string& path, int n) {
    FileBPlusTree tree;
    return tree.LoadFromFile(CString(path)) == 1 && tree.GetRecordCount() == n;
}

TEST(FileBPlusTree, SaveKeepsModeLinksAndHardLinksOfTheFile) {
    TempDir dir;
    const std::string path = dir / "t.bpt";
    ASSERT_TRUE(SaveKeys(path, 5));
    ASSERT_EQ(chmod(path.c_str(), 0660), 0);
    ASSERT_TRUE(SaveKeys(path, 6));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0660u);

    // Through a symbolic link (relative, as a user makes one): the link stays a link.
    const std::string link = dir / "link.bpt";
    ASSERT_EQ(symlink("t.bpt", link.c_str()), 0);
    ASSERT_TRUE(SaveKeys(link, 7));
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(HoldsKeys(path, 7));

    // A second hard link sees the new tree too.
    const std::string other = dir / "other.bpt";
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
    ASSERT_TRUE(SaveKeys(path, 8));
    EXPECT_TRUE(HoldsKeys(other, 8));
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);

    // Something that is no regular file is not replaced.
    const std::string fifo = dir / "fifo.bpt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_FALSE(SaveKeys(fifo, 1));
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(FileBPlusTree, SaveRemovesTemporaryFilesOfKilledSaves) {
    TempDir dir;
    const std::string path = dir / "t.bpt";
    ASSERT_TRUE(SaveKeys(path, 3));
    for (const char* leftover : {"t.bpt.~1", "t.bpt.~4194303"})
        mltest::WriteFileBytes(dir / leftover, "half a tree");
    mltest::WriteFileBytes(dir / "t.bpt.~notes", "kept");
    mltest::WriteFileBytes(dir / "u.bpt.~7", "kept");
    ASSERT_TRUE(SaveKeys(path, 4));
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"t.bpt", "t.bpt.~notes", "u.bpt.~7"}));
}

// Where the directory may not be changed but the file may, the tree is written in place.
TEST(FileBPlusTree, SaveInAReadOnlyDirectoryRewritesTheFile) {
    TempDir dir;
    const std::string sub = dir / "ro";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    const std::string path = sub + "/t.bpt";
    ASSERT_TRUE(SaveKeys(path, 3));
    const uid_t nobody = 65534;
    if (geteuid() == 0) {
        // Root ignores modes: the save runs as another user, who owns the file only.
        ASSERT_EQ(chown(path.c_str(), nobody, nobody), 0);
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        const int rc = proctest::WaitBounded(proctest::Spawn([&] {
                                                 if (setgid(nobody) != 0 || setuid(nobody) != 0)
                                                     return 90;
                                                 if (!SaveKeys(path, 9))
                                                     return 1;
                                                 // Read back by its owner: root trusts no other
                                                 // user's file in its own directory.
                                                 return HoldsKeys(path, 9) ? 0 : 2;
                                             }),
                                             20000);
        EXPECT_EQ(rc, 0);
    } else {
        ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
        EXPECT_TRUE(SaveKeys(path, 9));
        chmod(sub.c_str(), 0755);
        EXPECT_TRUE(HoldsKeys(path, 9));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sub),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
