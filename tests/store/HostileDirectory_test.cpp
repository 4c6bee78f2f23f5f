// A store directory that other users can write into: what they plant there (links, files under
// the store's names, temporary names) never makes the store write into or read from a file of
// theirs choosing, and the store's own files are closed to them whatever the umask.
//
// The other user is a child process that takes an unused uid; that needs root, so those cases
// are skipped for an ordinary user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "EngineFixture.h"
#include "File.h"
#include "ProcessSupport.h"
#include "StoreCheck.h"
#include "TestSupport.h"
#include "filebplustreenode.h"
#include "gbtext/StoreTexts.h"

namespace {

constexpr uid_t kOtherUid = 54321;  // nobody's: no user has it

// Runs `fn` as the other user in a child; whether it returned true.
template <class Fn>
bool AsOtherUser(Fn&& fn) {
    return proctest::WaitBounded(proctest::Spawn([&] {
                                     if (setgid(kOtherUid) != 0 || setuid(kOtherUid) != 0)
                                         return 90;
                                     return fn() ? 0 : 1;
                                 }),
                                 20000) == 0;
}

bool Plant(const std::string& target, const std::string& link) {
    return AsOtherUser([&] { return symlink(target.c_str(), link.c_str()) == 0; });
}

bool Contains(const std::string& path, const std::string& what) {
    return mltest::ReadFileText(path).find(what) != std::string::npos;
}

class HostileDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to act as a second user (uid " << kOtherUid << ")";
        // The scratch directory must be passable for the other user; the shared one is /tmp's
        // like: anybody makes names in it, only their owner removes them.
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    }
    std::string In(const std::string& name) const { return shared + "/" + name; }
    static int Add(CFileDypass& e, const char* name, int nSource = memtag::kSourceBrakk) {
        auto t = enginetest::MakeTag(2, name);
        e.SetDataType(2);
        e.SetDataSource(nSource);
        const int off = e.WriteTagRecord(&t);
        return off >= 0 && e.AddIndexEntry(off, &t) >= 0 ? off : -1;
    }
    // Whether the error file says that the store refused `path`.
    static bool ToldRefused(CFileDypass& e, const std::string& path) {
        CString refused;
        refused.Format(gbtext::StoreFileRefused, path.c_str());
        for (const std::string& line : mltest::Messages(e))
            if (line == refused.str())
                return true;
        return false;
    }

    mltest::TempDir dir;
    mltest::ScopedEnv noAreas{"QLX_PATH_D_AREAINFO", nullptr};
    const std::string shared = dir / "shared";
};

}  // namespace

// Root's own 0600 files stand in for /etc/shadow: links to them named like the tree, a data
// file, a backup and the error file leave them as they were, and a store whose tree cannot be
// read (the link's target is no tree) does not save through the link at close either.
TEST_F(HostileDirectory, PlantedLinksNeverLeadTheStoreIntoAnotherFile) {
    const char* names[] = {"TmpBRKTagIndex.bpt", "TmpBrakkIntTagInfo.tag",
                           "OldTmpBrakkIntTagInfo.tag", "TempErrFile.txt"};
    for (const char* name : names) {
        const std::string victim = dir / (std::string("secret-") + name);
        mltest::WriteFileBytes(victim, std::string("root:secret:") + name);
        ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
        ASSERT_TRUE(Plant(victim, In(name))) << name;
    }
    {
        CFileDypass e(shared.c_str(), false);
        Add(e, "TAG1");
        e.BackupAsOldFile(2);
    }
    { CFileDypass reopened(shared.c_str(), false); }
    for (const char* name : names) {
        const std::string victim = dir / (std::string("secret-") + name);
        EXPECT_EQ(mltest::ReadFileText(victim), std::string("root:secret:") + name) << name;
        struct stat st;
        ASSERT_EQ(lstat(In(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;  // the other user's link stays theirs
    }
}

TEST_F(HostileDirectory, APlantedTreeLinkIsRefusedWithAMessage) {
    const std::string victim = dir / "victim.bpt";
    mltest::WriteFileBytes(victim, "kept");
    ASSERT_TRUE(Plant(victim, In("TmpBRKTagIndex.bpt")));
    {
        CFileDypass e(shared.c_str(), false);
        ASSERT_GT(Add(e, "TAG1"), 0);
    }
    CFileDypass e(shared.c_str(), false);
    EXPECT_TRUE(ToldRefused(e, In("TmpBRKTagIndex.bpt")));
    EXPECT_EQ(mltest::ReadFileText(victim), "kept");
    // The names are still found, from the index.
    CMemTag tag;
    EXPECT_EQ(e.GetTagByName("TAG1", tag), 1);
}

// The other user made the store's directory and left a file of theirs under the backup's name:
// the backup does not go into it, and what they put there later is not taken back as records.
TEST_F(HostileDirectory, AFilePlantedUnderTheBackupsNameGetsNothingAndGivesNothing) {
    const std::string store = In("store");
    const std::string backup = store + "/OldTmpBrakkIntTagInfo.tag";
    ASSERT_TRUE(AsOtherUser([&] {
        if (mkdir(store.c_str(), 0777) != 0 || chmod(store.c_str(), 0777) != 0)
            return false;
        mltest::WriteFileBytes(backup, "PLANTED");
        return chmod(backup.c_str(), 0666) == 0;
    }));
    CFile planted;
    ASSERT_TRUE(planted.Open(backup.c_str(), CFile::modeRead));
    CFileDypass e(store.c_str(), false);
    ASSERT_GT(Add(e, "SECRET1"), 0);
    EXPECT_EQ(e.BackupAsOldFile(2), 1);
    std::string seen;
    ASSERT_TRUE(planted.ReadAll(seen));
    EXPECT_EQ(seen, "PLANTED");

    // The backup made is the store's own; the other user swaps in a file of theirs again.
    ASSERT_TRUE(Contains(backup, "SECRET1"));
    ASSERT_TRUE(AsOtherUser([&] {
        std::remove(backup.c_str());
        mltest::WriteFileBytes(backup, "PLANTED");
        return true;
    }));
    EXPECT_EQ(e.RecoverWithOldFile(2), 1);
    EXPECT_FALSE(Contains(store + "/TmpBrakkIntTagInfo.tag", "PLANTED"));
    EXPECT_TRUE(ToldRefused(e, backup));
}

// Root checks a shared store where links to root's 0600 copies of a store's files stand under a
// record file's and a tree's names: read, their records and keys would show up by name in the
// findings. Each is one finding, and the rest of the store is still checked.
TEST_F(HostileDirectory, TheCheckRefusesPlantedLinksUnread) {
    const std::string own = dir / "own";
    {
        CFileDypass e(own.c_str(), false);
        ASSERT_GT(Add(e, "ROOTSECRET", memtag::kSourceZuZir), 0);
    }
    const std::string record = "TmpZuZirIntTagInfo.tag";
    const std::string tree = CFileDypass::kZuZirTreeName;
    for (const std::string& name : {record, tree}) {
        const std::string victim = dir / ("secret-" + name);
        mltest::WriteFileBytes(victim, mltest::ReadFileText(own + "/" + name));
        ASSERT_TRUE(Contains(victim, "ROOTSECRET")) << name;
        ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
        ASSERT_TRUE(Plant(victim, In(name))) << name;
    }
    {
        CFileDypass e(shared.c_str(), false);
        ASSERT_GT(Add(e, "TAG1"), 0);
    }
    CFile damage;  // root's own file of the store, so that its check shows
    ASSERT_TRUE(damage.Open(In("TmpBrakkIntTagInfo.tag").c_str(), CFile::modeReadWrite));
    ASSERT_TRUE(damage.WriteAt(0, "X", 1));
    damage.Close();

    std::multiset<std::string> seen;
    std::string all;
    for (const StoreFinding& f : CStoreCheck::CheckDirectory(shared.c_str())) {
        const std::string text = f.strText.str();
        all += f.strFile.str() + ": " + text + "\n";
        EXPECT_EQ(text.find("ROOTSECRET"), std::string::npos) << text;
        if (text.find("refused") != std::string::npos ||
            text.find("identifier") != std::string::npos)
            seen.insert(f.strFile.str());
    }
    EXPECT_EQ(seen, (std::multiset<std::string>{record, tree, "TmpBrakkIntTagInfo.tag"})) << all;
}

// A link the other user planted in place of a store directory leads the check nowhere.
TEST_F(HostileDirectory, TheCheckRefusesAPlantedDirectoryLink) {
    const std::string own = dir / "own";
    { CFileDypass e(own.c_str(), false); }
    ASSERT_TRUE(Plant(own, In("store")));
    const auto findings = CStoreCheck::CheckDirectory(In("store").c_str());
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_NE(findings[0].strText.str().find("directory is refused"), std::string::npos)
        << findings[0].strText.str();
}

// A file of the other user's under the tree's temporary name of this process (the name saves
// once used) neither fails the save nor is removed as a leftover of this user's.
TEST_F(HostileDirectory, APlantedTemporaryNameDoesNotFailTheSave) {
    const std::string temp = In("TmpBRKTagIndex.bpt.~" + std::to_string(getpid()));
    ASSERT_TRUE(AsOtherUser([&] {
        mltest::WriteFileBytes(temp, "squatter");
        return true;
    }));
    {
        CFileDypass e(shared.c_str(), false);
        ASSERT_GT(Add(e, "TAG1"), 0);
        EXPECT_EQ(e.SaveNames(), 1);
    }
    FileBPlusTree saved;
    EXPECT_EQ(saved.LoadFromFile(In("TmpBRKTagIndex.bpt").c_str()), 1);
    EXPECT_EQ(mltest::ReadFileText(temp), "squatter");
}

// A directory that passes its group (54321, none of root's) on to new files: the store's files
// there are not that group's to read.
TEST_F(HostileDirectory, AGroupThatIsNotTheUsersGetsNoPermissions) {
    const std::string store = In("store");
    ASSERT_EQ(mkdir(store.c_str(), 0770), 0);
    ASSERT_EQ(chown(store.c_str(), 0, kOtherUid), 0);
    ASSERT_EQ(chmod(store.c_str(), 02770), 0);
    {
        CFileDypass e(store.c_str(), false);
        ASSERT_GT(Add(e, "TAG1"), 0);
        e.BackupAsOldFile(2);
    }
    int nSeen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(store)) {
        struct stat st;
        ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_gid, kOtherUid) << entry.path();
        EXPECT_EQ(st.st_mode & 077, 0u) << entry.path();
        ++nSeen;
    }
    EXPECT_GT(nSeen, 20);
}

namespace {

class StoreModes : public ::testing::TestWithParam<mode_t> {};

}  // namespace

// Every file and directory the store makes is closed to others; the group gets what the umask
// allows, so that the suite's programs of one group share the store.
TEST_P(StoreModes, NothingTheStoreMakesIsOpenToOthers) {
    mltest::TempDir dir;
    mltest::ScopedEnv noAreas{"QLX_PATH_D_AREAINFO", nullptr};
    const std::string store = dir / "a/b";
    const mode_t old = umask(GetParam());
    {
        CFileDypass e(store.c_str(), false);
        auto t = enginetest::MakeTag(2, "TAG1");
        e.SetDataType(2);
        e.SetDataSource(2);
        const int off = e.WriteTagRecord(&t);
        EXPECT_GE(e.AddIndexEntry(off, &t), 0);
        CString msg("a message");
        e.AddError(msg);
        e.BackupAsOldFile(2);
    }
    umask(old);
    int nSeen = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        struct stat st;
        ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07, 0u) << entry.path();
        const mode_t group = S_ISDIR(st.st_mode) ? 070 : 060;
        EXPECT_EQ(st.st_mode & 070, group & ~GetParam()) << entry.path();
        ++nSeen;
    }
    EXPECT_GT(nSeen, 20);  // the directories, the set, its trees, backups and error file
}

INSTANTIATE_TEST_SUITE_P(Umask, StoreModes, ::testing::Values(000, 022));
