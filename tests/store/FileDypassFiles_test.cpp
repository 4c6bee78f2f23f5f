// The temporary file set: a fresh directory, closing, moving, backup, recovery, removal, and
// several programs on one directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

#include "EngineFixture.h"
#include "LoadARFile.h"

using enginetest::AnyTag;
using enginetest::MakeTag;

namespace {

std::vector<std::uint8_t> NewFileBytes() {
    std::string s("ZORVEN_TEMPFILE", 15);
    s += std::string(9, '\0');
    s += std::string("\x00\x00\x01\x00", 4);
    s += std::string(8, '\0');
    s += std::string("\x28\x00\x00\x00\x00\x00", 6);
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

class FileSet : public enginetest::EngineTest {};

}  // namespace

TEST_F(FileSet, FreshDirectoryHoldsSixteenHeaderOnlyFiles) {
    // Spelled out, odd cases and all: the names on disk are fixed.
    std::string names;
    for (int i = 0; i < 16; ++i)
        names += std::string(CFileDypass::SlotFileName(i)) + " ";
    EXPECT_EQ(names,
              "TmpBrakkTagIndex.idx TmpBrakkBoolTagInfo.tag TmpBrakkIntTagInfo.tag "
              "TmpBrakkFloatTagInfo.tag TmpBrakkStringTagInfo.tag TmpBrakkTaskTagInfo.tag "
              "TmpBrakkEventTagInfo.tag TmpBrakkStructTagInfo.tag TmpZuzirTagIndex.idx "
              "TmpZuZirBoolTagInfo.tag TmpZuZirIntTagInfo.tag TmpZuZirFloatTagInfo.tag "
              "TmpZuZirStringTagInfo.tag TmpZuzirTaskTagInfo.tag TmpZuzirEventTagInfo.tag "
              "TmpZuZirStructTagInfo.tag ");
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(Bytes(CFileDypass::SlotFileName(i)), NewFileBytes())
            << CFileDypass::SlotFileName(i);
        EXPECT_NE(engine->GetFileSlot(i).nOpen, 0);
    }
    EXPECT_FALSE(mltest::FileExists(Path("TempErrFile.txt")));
    EXPECT_FALSE(mltest::FileExists(Path("TmpBRKTagIndex.bpt")));
    EXPECT_FALSE(mltest::FileExists(Path("TmpBRTaskTagIndex.bpt")));
    engine.reset();
    // The first close writes both trees, even untouched.
    EXPECT_TRUE(mltest::FileExists(Path("TmpBRKTagIndex.bpt")));
    EXPECT_TRUE(mltest::FileExists(Path("TmpBRTaskTagIndex.bpt")));
}

TEST_F(FileSet, ExistingFilesAreOpenedAsTheyAre) {
    ASSERT_EQ(Add(2, 2, "KEEP"), 40);
    const auto before = Bytes("TmpBrakkIntTagInfo.tag");
    Reopen();
    EXPECT_EQ(Bytes("TmpBrakkIntTagInfo.tag"), before);
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName("KEEP", tag), 1);
}

TEST_F(FileSet, ClosingUnchangedTreesDoesNotRewriteThem) {
    ASSERT_EQ(Add(2, 2, "T"), 40);
    Reopen();  // trees saved with T
    // Damage the saved tree file: an engine that only reads must leave it alone at close.
    const std::string tree = Path("TmpBRKTagIndex.bpt");
    mltest::WriteFileBytes(tree, "not a tree");
    CMemTag tag;
    engine->GetTagByName("T", tag);
    engine.reset();
    EXPECT_EQ(mltest::ReadFileText(tree), "not a tree");
}

TEST_F(FileSet, ReaderClosingAfterAWriterKeepsTheWritersNames) {
    ASSERT_EQ(Add(1, 2, "FIRST"), 40);
    Reopen();
    auto reader = std::make_unique<CFileDypass>();  // loads the tree with FIRST only
    ASSERT_EQ(Add(1, 2, "SECOND"), 40 + 538);
    engine.reset();  // the writer saves
    CMemTag tag;
    EXPECT_EQ(reader->GetTagByName("FIRST", tag), 1);
    // Records are shared at once, names only through the saved tree.
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
    reader->GetTagArray(arr, 2);
    EXPECT_EQ(arr.GetSize(), 2);
    reader.reset();
    engine = std::make_unique<CFileDypass>();
    EXPECT_EQ(engine->JustTagFromBRK("SECOND"), 80);
    EXPECT_EQ(engine->JustTagFromBRK("FIRST"), 40);
}

TEST_F(FileSet, TwoProcessesShareRecordsAtOnceAndNamesThroughTheTree) {
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    engine.reset();
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The writer: adds a tag, a task; tells the parent; waits; closes (saving its tree).
        int code = 0;
        {
            CFileDypass w;
            AnyTag t = MakeTag(3, "CHILD.PV");
            w.SetDataType(3);
            w.SetDataSource(1);
            int off = w.WriteTagRecord(&t);
            if (off != 40 || w.AddIndexEntry(off, &t) != 40)
                code = 1;
            Task_Info task{};
            task.Reset();
            task.nNo = 21;
            if (w.AddTask(&task) != 40)
                code = 2;
            char c = 'w';
            if (write(toParent[1], &c, 1) != 1 || read(toChild[0], &c, 1) != 1)
                code = 3;
        }
        _exit(code);
    }
    CFileDypass reader;  // opened while the writer works
    char c;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
    reader.GetTagArray(arr, 1);
    ASSERT_EQ(arr.GetSize(), 1);
    CMemTag tag;
    EXPECT_EQ(reader.GetTagInfoWithIdx(arr[0], tag), 1);
    EXPECT_EQ(tag.strName, "CHILD.PV");
    CMemTag task;
    EXPECT_EQ(reader.FindTask(21, task), 1);
    ASSERT_EQ(write(toChild[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // A program opened after the writer closed finds the name.
    {
        CFileDypass stale;
        EXPECT_EQ(stale.JustTagFromRMP("CHILD.PV"), 40);
    }
    // The reader notices that the index changed under its image and finds the name too.
    EXPECT_EQ(reader.JustTagFromRMP("CHILD.PV"), 40);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
}

TEST_F(FileSet, ReaderProcessClosingLastLeavesNamesFindable) {
    engine.reset();
    auto reader = std::make_unique<CFileDypass>();
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int code = 0;
        {
            CFileDypass w;
            for (int i = 0; i < 30; ++i) {
                AnyTag t = MakeTag(2, "W" + std::to_string(i));
                w.SetDataType(2);
                w.SetDataSource(2);
                int off = w.WriteTagRecord(&t);
                if (off < 0 || w.AddIndexEntry(off, &t) < 0)
                    code = 1;
            }
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    reader.reset();
    CFileDypass after;
    CMemTag tag;
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(after.GetTagByName(("W" + std::to_string(i)).c_str(), tag), 1) << i;
}

TEST_F(FileSet, MovingTheStoreKeepsTheGivenPathAndCreatesTheTree) {
    const std::string target = dir / "a/b/store";
    EXPECT_EQ(engine->SetConfigureFilePath((target + "/").c_str()), 1);
    EXPECT_EQ(engine->GetTempDir().str(), target + "/");
    EXPECT_EQ(mltest::ReadFileBytes(target + "/TmpBrakkTagIndex.idx"), NewFileBytes());
    ASSERT_EQ(Add(4, 1, "MOVED"), 40);
    EXPECT_EQ(mltest::FileSize(target + "/TmpZuZirStringTagInfo.tag"), 42 + 310);
    // The old directory got its trees at the close that the move made.
    EXPECT_TRUE(mltest::FileExists(Path("TmpBRKTagIndex.bpt")));

    const std::string other = dir / "other";
    EXPECT_EQ(engine->SetConfigureFilePath(other.c_str()), 1);
    EXPECT_EQ(engine->GetTempDir().str(), other);
    EXPECT_TRUE(mltest::FileExists(other + "/TmpZuZirStructTagInfo.tag"));
    EXPECT_TRUE(mltest::FileExists(target + "/TmpBRTaskTagIndex.bpt"));
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName("MOVED", tag), 0);
    EXPECT_EQ(engine->SetConfigureFilePath((target + "/").c_str()), 1);
    EXPECT_EQ(engine->GetTagByName("MOVED", tag), 1);
}

TEST_F(FileSet, BackupCreatesMissingFilesAndCopiesTheSourceOnly) {
    ASSERT_EQ(Add(2, 1, "Z"), 40);
    std::remove(Path("TmpZuzirEventTagInfo.tag").c_str());
    EXPECT_EQ(engine->BackupAsOldFile(1), 1);
    EXPECT_EQ(Bytes("TmpZuzirEventTagInfo.tag"), NewFileBytes());
    EXPECT_EQ(Bytes("OldTmpZuzirEventTagInfo.tag"), NewFileBytes());
    EXPECT_EQ(Bytes("OldTmpZuZirIntTagInfo.tag"), Bytes("TmpZuZirIntTagInfo.tag"));
    EXPECT_TRUE(mltest::FileExists(Path("OldTmpBRTaskTagIndex.bpt")));
    EXPECT_FALSE(mltest::FileExists(Path("OldTmpBrakkIntTagInfo.tag")));
    EXPECT_FALSE(mltest::FileExists(Path("OldTmpBRKTagIndex.bpt")));

    EXPECT_EQ(engine->BackupAsOldFile(0), 1);
    EXPECT_FALSE(mltest::FileExists(Path("OldTmpBrakkIntTagInfo.tag")));
}

TEST_F(FileSet, BackupThenRecoverBringsTheTagsBack) {
    ASSERT_EQ(Add(2, 2, "KEPT"), 40);
    ASSERT_EQ(engine->BackupAsOldFile(2), 1);
    ASSERT_EQ(engine->DeleteTag("KEPT"), 1);
    ASSERT_EQ(Add(2, 2, "LATER"), 40);
    EXPECT_EQ(engine->RecoverWithOldFile(2), 1);
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName("KEPT", tag), 1);
    EXPECT_EQ(engine->GetTagByName("LATER", tag), 0);
}

TEST_F(FileSet, RecoverWithoutBackupsResetsDataFilesAndKeepsTheTree) {
    ASSERT_EQ(Add(1, 2, "B"), 40);
    ASSERT_EQ(Add(1, 1, "Z"), 40);
    engine.reset();
    const auto tree = Bytes("TmpBRKTagIndex.bpt");
    engine = std::make_unique<CFileDypass>();
    EXPECT_EQ(engine->RecoverWithOldFile(2), 1);
    // The new header over the old bytes, never cut: what lies past it is past the live area.
    const auto fresh = NewFileBytes();
    for (int i = 0; i < 8; ++i) {
        const auto now = Bytes(CFileDypass::SlotFileName(i));
        ASSERT_GE(now.size(), fresh.size()) << CFileDypass::SlotFileName(i);
        EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), now.begin()))
            << CFileDypass::SlotFileName(i);
    }
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName("B", tag), 0);
    EXPECT_EQ(engine->GetTagByName("Z", tag), 1);
    EXPECT_EQ(Bytes("TmpBRKTagIndex.bpt"), tree);
    EXPECT_EQ(Bytes("OldTmpBrakkBoolTagInfo.tag"), NewFileBytes());
    EXPECT_EQ(mltest::FileSize(Path("TmpZuZirBoolTagInfo.tag")), 42 + 538);
    for (int i = 0; i < 16; ++i)
        EXPECT_NE(engine->GetFileSlot(i).nOpen, 0);
}

TEST_F(FileSet, RemovingBrakkKeepsItsItemsUnlessTheScopeIsTwo) {
    ASSERT_EQ(Add(1, 2, "B"), 40);
    Task_Info t{};
    t.Reset();
    t.nNo = 1;
    engine->SetDataSource(2);
    ASSERT_EQ(engine->AddTask(&t), 40);
    ASSERT_EQ(Add(1, 1, "Z"), 40);
    EXPECT_EQ(engine->RemoveAllBRKFile(1), 1);
    EXPECT_EQ(Bytes("TmpBrakkBoolTagInfo.tag"), NewFileBytes());
    EXPECT_EQ(Bytes("TmpBrakkTagIndex.idx"), NewFileBytes());
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkTaskTagInfo.tag")), 42 + 78);
    EXPECT_EQ(engine->JustTagFromBRK("B"), 0);
    EXPECT_EQ(engine->JustTagFromRMP("Z"), 40);
    EXPECT_EQ(engine->RemoveAllBRKFile(2), 1);
    EXPECT_EQ(Bytes("TmpBrakkTaskTagInfo.tag"), NewFileBytes());
    // Files already gone are skipped and come back header-only.
    std::remove(Path("TmpZuzirTaskTagInfo.tag").c_str());
    std::remove(Path("TmpBRTaskTagIndex.bpt").c_str());
    EXPECT_EQ(engine->RemoveAllRMPFile(0), 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(Bytes(CFileDypass::SlotFileName(i)), NewFileBytes())
            << CFileDypass::SlotFileName(i);
    EXPECT_EQ(engine->JustTagFromRMP("Z"), 0);
}

TEST(FileSetNoDirectory, WithoutADirectoryNothingOpensAndRecordOperationsFail) {
    mltest::ScopedEnv env("QLX_PATH_D_TEMP", nullptr);
    mltest::ScopedEnv paths("DIRKEEPER_PATHS", nullptr);
    CFileDypass e;
    EXPECT_TRUE(e.GetTempDir().IsEmpty());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(e.GetFileSlot(i).nOpen, 0);
    EXPECT_EQ(e.BackupAsOldFile(1), 0);
    EXPECT_EQ(e.RecoverWithOldFile(1), 0);
    enginetest::AnyTag t = enginetest::MakeTag(1, "X");
    e.SetDataType(1);
    e.SetDataSource(1);
    EXPECT_EQ(e.WriteTagRecord(&t), -1);
    EXPECT_EQ(e.DeleteTag("X"), -1);
    CMemTag tag;
    EXPECT_EQ(e.FindEvent(1, tag), 0);
    CArray<CMemTag, CMemTag&> all;
    EXPECT_EQ(e.GetAllTags(all, 0), 1);
    EXPECT_EQ(all.GetSize(), 0);
}

TEST_F(FileSet, AreaListFallsBackToTheBuiltInArea) {
    CDWordArray nos;
    CStringArray names, descs;
    EXPECT_EQ(engine->GetAllAreaInfo(nos, names, descs), 1);
    ASSERT_EQ(nos.GetSize(), 1);
    EXPECT_EQ(names[0].str(), mltest::Gb("数据组0"));
    // Reopening the set loads the list again without doubling it.
    engine->RemoveAllRMPFile(1);
    EXPECT_EQ(engine->GetAllAreaInfo(nos, names, descs), 1);
    EXPECT_EQ(nos.GetSize(), 1);
    CDWordArray areaNos, regionNos;
    EXPECT_EQ(engine->GetAllRegionInfo(areaNos, regionNos, names, descs), 1);
    EXPECT_EQ(regionNos.GetSize(), 1);
}

TEST(FileSetAreas, AreaListComesFromTheAreaInformationDirectory) {
    mltest::TempDir store, areas;
    mltest::ScopedEnv env("QLX_PATH_D_TEMP", store.path().c_str());
    mltest::ScopedEnv areaEnv("QLX_PATH_D_AREAINFO", areas.path().c_str());
    ASSERT_EQ(CLoadARFile::WriteDefaultFile(areas.path().c_str(), 1), 1);
    CFileDypass e;
    CDWordArray nos, regionNos;
    CStringArray names, descs;
    EXPECT_EQ(e.GetAllAreaInfo(nos, names, descs), 1);
    ASSERT_EQ(nos.GetSize(), 2);
    EXPECT_EQ(nos[1], 1u);
    EXPECT_EQ(descs[1].str(), mltest::Gb("数据分组"));
    EXPECT_EQ(e.GetAllRegionInfo(nos, regionNos, names, descs), 1);
    ASSERT_EQ(regionNos.GetSize(), 2);
    EXPECT_EQ(regionNos[1], 65536u);
    CTagAreaArray copies;
    EXPECT_EQ(e.CopyAreas(&copies), 1);
    ASSERT_EQ(copies.GetSize(), 2);
    for (CTagArea* p : copies)
        delete p;
}
