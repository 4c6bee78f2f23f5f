// Random inserts, replaces and look-ups against std::map, with the saved file checked for
// soundness at intervals and after reloading.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "BPlusTreeFileCheck.h"
#include "TestSupport.h"
#include "filebplustreenode.h"

namespace {

// What the tree holds for a name: its first 31 bytes.
std::string AsKey(const std::string& s) {
    return s.substr(0, std::min<size_t>(31, s.find('\0')));
}

class KeyMaker {
public:
    explicit KeyMaker(unsigned seed, int pool) : m_rng(seed), m_pool(pool) {}
    std::string Next() {
        switch (m_rng() % 8) {
            case 0: {  // random bytes, GB2312 range included, sometimes past 31 bytes
                std::string s(1 + m_rng() % 40, 'x');
                for (char& c : s)
                    c = static_cast<char>(1 + m_rng() % 255);
                return s;
            }
            case 1:
                return "TAG" + std::to_string(m_rng() % 100) + std::string(30, 'z') +
                       std::to_string(m_rng() % 10);  // differ only past byte 31
            default:
                return "T" + std::to_string(m_rng() % static_cast<unsigned>(m_pool));
        }
    }
    unsigned Roll() { return m_rng(); }

private:
    std::mt19937 m_rng;
    int m_pool;
};

void RunModel(int nOrder, int nOps, unsigned seed) {
    mltest::TempDir dir;
    // One name per order: the lock is named after the file, and tests may run side by side.
    const std::string path = dir / ("model-" + std::to_string(nOrder) + ".bpt");
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(path), nOrder, 0));
    std::map<std::string, int> model;
    KeyMaker keys(seed, nOps / 3);

    auto checkFile = [&](const char* when) {
        std::map<std::string, int32_t> entries;
        mltest::TreeFile file;
        ASSERT_EQ(mltest::ParseTreeFile(mltest::ReadFileBytes(path), file), "") << when;
        ASSERT_EQ(mltest::TreeChecker(file).Check(entries), "") << when;
        ASSERT_EQ(entries.size(), model.size()) << when;
        ASSERT_TRUE(std::equal(entries.begin(), entries.end(), model.begin(), [](auto& a, auto& b) {
            return a.first == b.first && a.second == b.second;
        })) << when;
    };

    for (int op = 0; op < nOps; ++op) {
        const std::string raw = keys.Next();
        const std::string k = AsKey(raw);
        const unsigned roll = keys.Roll();
        const int value = static_cast<int>(roll % 1000000) - 500;
        auto it = model.find(k);
        if (roll % 4 == 0) {
            CMyKey out;
            int got = -12345, status = -1;
            int r = tree.Find(CMyKey(CString(raw)), &out, &got, &status);
            auto lb = model.lower_bound(k);
            // The look-up of several trees in step answers as Find in each.
            FileBPlusTree* const trees[3] = {&tree, nullptr, &tree};
            int inEach[3] = {-1, -1, -1};
            FileBPlusTree::FindInEach(trees, CMyKey(CString(raw)), inEach);
            const int want = it != model.end() ? it->second : 0;
            ASSERT_TRUE(inEach[0] == want && inEach[1] == 0 && inEach[2] == want) << op;
            if (it != model.end()) {
                ASSERT_EQ(r, 1) << op;
                ASSERT_EQ(got, it->second);
                ASSERT_EQ(status, 1);
            } else if (lb != model.end()) {
                ASSERT_EQ(r, 0);
                ASSERT_EQ(status, 1) << op;
                ASSERT_EQ(out.ToString().str(), lb->first);
                ASSERT_EQ(got, lb->second);
            } else {
                ASSERT_EQ(r, 0);
                ASSERT_EQ(status, 0);
            }
        } else {
            const int bReplace = roll % 4 != 1;
            int old = -12345;
            int r = tree.Insert(CMyKey(CString(raw)), value, bReplace, &old);
            if (it == model.end()) {
                ASSERT_EQ(r, 1) << op;
                model[k] = value;
            } else {
                ASSERT_EQ(old, it->second) << op;
                ASSERT_EQ(r, bReplace) << op;
                if (bReplace)
                    it->second = value;
            }
        }
        if (op % (nOps / 4) == nOps / 4 - 1) {
            ASSERT_EQ(tree.GetRecordCount(), static_cast<int>(model.size()));
            ASSERT_TRUE(tree.SaveToFile(CString()));
            checkFile("after save");
            // Carry on with the reloaded image.
            tree.Close();
            ASSERT_TRUE(tree.LoadFromFile(CString(path)));
        }
    }
    ASSERT_TRUE(tree.SaveToFile(CString()));
    checkFile("at the end");
}

TEST(FileBPlusTreeModel, OrderThreeAgreesWithAMap) {
    RunModel(3, 60000, 1);
}
TEST(FileBPlusTreeModel, OrderFourAgreesWithAMap) {
    RunModel(4, 60000, 2);
}
TEST(FileBPlusTreeModel, OrderTenAgreesWithAMap) {
    RunModel(10, 80000, 3);
}
TEST(FileBPlusTreeModel, OrderSixtyFourAgreesWithAMap) {
    RunModel(64, 40000, 4);
}

TEST(FileBPlusTreeModel, AscendingAndDescendingRunsStaySound) {
    for (int order : {3, 5, 10}) {
        for (bool bDown : {false, true}) {
            mltest::TempDir dir;
            FileBPlusTree tree;
            ASSERT_TRUE(tree.CreateInMemory(CString(dir / "run.bpt"), order, 100));
            std::map<std::string, int> model;
            for (int i = 0; i < 3000; ++i) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "N%06d", bDown ? 3000 - i : i);
                ASSERT_EQ(tree.Insert(CMyKey(buf), i, 1, nullptr), 1);
                model[buf] = i;
            }
            std::map<std::string, int32_t> entries;
            mltest::TreeFile file;
            ASSERT_TRUE(tree.SaveToFile(CString()));
            ASSERT_EQ(mltest::ParseTreeFile(mltest::ReadFileBytes(dir / "run.bpt"), file), "");
            ASSERT_EQ(mltest::TreeChecker(file).Check(entries), "") << order << bDown;
            EXPECT_EQ(entries.size(), model.size());
        }
    }
}

}  // namespace
