// The exported class as a host sees it, through libmemlist.so: the chain built and torn down,
// copies sharing one store, and nothing else exported.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "MemTagList.h"
#include "TestSupport.h"

using mltest::ScopedEnv;
using mltest::TempDir;

namespace {

struct HostTest : ::testing::Test {
    TempDir dir;
    ScopedEnv env{"QLX_PATH_D_TEMP", dir.path().c_str()};
};

int MessageCount(CMemTagList& list) {
    CStringArray arr;
    return list.GetErrStringArray(arr) ? arr.GetSize() : -1;
}

}  // namespace

TEST_F(HostTest, ConstructionBuildsTheStoreAndErrorFileTravelsTheChain) {
    CMemTagList list;
    CString m("hello");
    EXPECT_NE(list.AddError(m), 0);
    EXPECT_EQ(MessageCount(list), 1);
    EXPECT_EQ(list.RemoveErrorFile(), 1);
    EXPECT_FALSE(mltest::FileExists(dir / "TempErrFile.txt"));
}

TEST_F(HostTest, CopiesShareOneStoreAndOutliveTheOriginal) {
    auto* original = new CMemTagList(static_cast<CWnd*>(nullptr));
    CMemTagList copy(*original);
    CString m("from original");
    original->AddError(m);
    delete original;  // must not tear down the store the copy still uses
    CString m2("from copy");
    EXPECT_NE(copy.AddError(m2), 0);
    EXPECT_EQ(MessageCount(copy), 2);

    CMemTagList other;
    other = copy;  // the old store of `other` goes, the shared one stays
    CString m3("from assigned");
    EXPECT_NE(other.AddError(m3), 0);
    EXPECT_EQ(MessageCount(copy), 3);
    CMemTagList& alias = other;
    other = alias;  // self-assignment keeps the store
    EXPECT_EQ(MessageCount(other), 3);
}

TEST(HostNoPathService, ConstructionSucceedsAndErrorFileOperationsReportFailure) {
    ScopedEnv env("QLX_PATH_D_TEMP", nullptr);
    ScopedEnv table("DIRKEEPER_PATHS", nullptr);
    CMemTagList list;
    CString m("x");
    EXPECT_EQ(list.AddError(m), 0);
    CStringArray arr;
    arr.Add("stale");
    EXPECT_EQ(list.GetErrStringArray(arr), 0);
    EXPECT_EQ(arr.GetSize(), 0);
    EXPECT_EQ(list.RemoveErrorFile(), 1);
}

TEST(HostExports, OnlyTheExportedClassLeavesTheLibrary) {
    std::string cmd = std::string("nm -DC --defined-only ") + MEMLIST_BINARY_DIR +
                      "/out/libmemlist.so";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[4096];
    int exported = 0;
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        // "address type name": keep the name.
        size_t sp = s.find(' ', s.find(' ') + 1);
        std::string name = s.substr(sp + 1);
        name.erase(name.find_last_not_of("\n") + 1);
        bool allowed = name.rfind("CMemTagList::", 0) == 0 || name == "typeinfo for CMemTagList" ||
                       name == "typeinfo name for CMemTagList" ||
                       name == "vtable for CMemTagList" ||
                       name == "CMyAboutDlg::~CMyAboutDlg()";
        EXPECT_TRUE(allowed) << "exported: " << name;
        ++exported;
    }
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_GT(exported, 5);
}
