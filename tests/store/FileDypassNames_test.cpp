// Names as several programs see them: a stale name never reaches another tag, names other
// programs add are found without reopening, two writers of one source keep each other's tags,
// and a damaged entry never frees a slot twice.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "Clock.h"
#include "EngineFixture.h"
#include "FileFace.h"
#include "ProcessSupport.h"
#include "StoreCheck.h"
#include "StoreWorkload.h"
#include "SynchronicLock.h"
#include "Vfs.h"
#include "filebplustreenode.h"

namespace {

using enginetest::AnyTag;
using enginetest::EngineTest;

class Names : public EngineTest {
protected:
    mltest::TempDir reports;

    std::vector<StoreFinding> Check() const {
        return CStoreCheck::CheckDirectory(dir.path().c_str());
    }
    std::string Show(const std::vector<StoreFinding>& findings) const {
        std::string s;
        for (const StoreFinding& f : findings)
            s += f.strFile.str() + " @" + std::to_string(f.nOffset) + ": " + f.strText.str() + "\n";
        return s;
    }
    // The engine finds `name` as the tag first added under it (by its description).
    ::testing::AssertionResult FoundAsAdded(const char* name) const {
        CMemTag tag;
        if (engine->GetTagByName(name, tag) != 1)
            return ::testing::AssertionFailure() << name << " is not found";
        if (tag.strDesc.str() != std::string("desc of ") + name)
            return ::testing::AssertionFailure() << name << " leads to " << tag.strDesc.str();
        return ::testing::AssertionSuccess();
    }
    // Closes the store: the check finds nothing.
    void CloseAndExpectClean() {
        engine.reset();
        EXPECT_EQ(Show(Check()), "");
    }
    // Runs `fn` in a child, which calls the function it is given once its work is done; the
    // child is killed there, with its store still open: nothing it did is saved by a close.
    template <class Fn>
    void RunAndKill(Fn&& fn) {
        const proctest::ReportFile report(reports / "kill");
        const pid_t pid = proctest::Spawn([&] {
            return fn([&] {
                report.Send("ready");
                proctest::SleepUs(30 * 1000 * 1000);
            });
        });
        for (int waited = 0; report.Lines().empty() && waited < 20000; waited += 5)
            proctest::SleepUs(5000);
        ASSERT_EQ(report.Lines().size(), 1u) << "the child did not get ready";
        kill(pid, SIGKILL);
        ASSERT_EQ(proctest::WaitBounded(pid, 10000), 128 + SIGKILL);
    }
};

TEST_F(Names, AStaleNameNeverDeletesOrRenamesTheTagThatTookItsSlots) {
    ASSERT_EQ(Add(2, 2, "Y"), 40);
    engine.reset();  // Y is saved in the tree file
    RunAndKill([](auto ready) {
        CFileFace face;
        if (face.DelData(CString("Y")) != 1)
            return 1;
        ready();
        return 0;
    });
    // The next program adds X into Y's freed slots, record and entry alike.
    engine = std::make_unique<CFileDypass>();
    EXPECT_EQ(engine->JustTagFromBRK("Y"), 0);
    ASSERT_EQ(Add(2, 2, "X"), 40);
    EXPECT_EQ(engine->JustTagFromBRK("X"), 40);
    EXPECT_EQ(engine->DeleteTag("Y"), -1);
    AnyTag renamed = enginetest::MakeTag(2, "Z");
    EXPECT_EQ(Modify(2, 2, &renamed, "Y"), -1);
    EXPECT_TRUE(FoundAsAdded("X"));
    CloseAndExpectClean();
}

TEST_F(Names, NamesAddedRenamedAndDeletedByAKilledProgramAreAsItLeftThem) {
    ASSERT_EQ(Add(1, 1, "KEEP"), 40);
    ASSERT_EQ(Add(1, 1, "OLD"), 40 + 538);
    ASSERT_EQ(Add(3, 2, "GONE"), 40);
    engine.reset();
    // The killed program's trees die with it; only the record and index files keep its work.
    RunAndKill([](auto ready) {
        CFileFace face;
        for (int i = 0; i < 300; ++i) {
            AnyTag t = reltest::Record(1 + i % 2, i);
            if (face.AddData(reltest::TypeOf(i), 1 + i % 2, &t, CString()) != 1)
                return 1;
        }
        AnyTag n = enginetest::MakeTag(1, "NEW");
        if (face.ModifyData(1, 1, &n, CString("OLD"), CString()) != 1 ||
            face.DelData(CString("GONE")) != 1)
            return 2;
        ready();
        return 0;
    });
    // Even the tree file gone: the index holds every name.
    ASSERT_EQ(0, std::remove(Path("TmpBRTaskTagIndex.bpt").c_str()));
    engine = std::make_unique<CFileDypass>();
    for (int i = 0; i < 300; ++i) {
        CMemTag tag;
        ASSERT_EQ(engine->GetTagByName(reltest::TagName(1 + i % 2, i).c_str(), tag), 1) << i;
        EXPECT_EQ(reltest::Mismatch(tag), "");
    }
    EXPECT_EQ(engine->JustTagFromRMP("KEEP"), 40);
    EXPECT_EQ(engine->JustTagFromRMP("NEW"), 40 + 40);
    EXPECT_EQ(engine->JustTagFromRMP("OLD"), 0);
    EXPECT_EQ(engine->JustTagFromBRK("GONE"), 0);
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName("GONE", tag), 0);
    CloseAndExpectClean();
}

TEST_F(Names, AProgramFindsWhatAnotherAddsAndDeletesWhileItRuns) {
    ASSERT_EQ(Add(2, 2, "EARLY"), 40);
    CFileFace first;  // opened before the other program adds anything
    ASSERT_EQ(first.JustTagFromBRK(CString("EARLY")), 40);
    const pid_t pid = proctest::Spawn([] {
        CFileFace other;
        for (int i = 0; i < 500; ++i) {
            AnyTag t = reltest::Record(1 + i % 2, i);
            if (other.AddData(reltest::TypeOf(i), 1 + i % 2, &t, CString()) != 1)
                return 1;
        }
        return other.DelData(CString("EARLY")) == 1 ? 0 : 2;
    });
    ASSERT_EQ(proctest::WaitBounded(pid, 60000), 0);
    for (int i = 0; i < 500; ++i) {
        CMemTag tag;
        ASSERT_EQ(first.GetSelute(CString(reltest::TagName(1 + i % 2, i)), tag), 1) << i;
        EXPECT_EQ(reltest::Mismatch(tag), "");
    }
    EXPECT_EQ(first.JustTagFromBRK(CString("EARLY")), 0);
}

TEST_F(Names, TwoProgramsAddingToOneSourceAtOnceKeepEveryTag) {
    engine.reset();
    constexpr int kEach = 1500;
    pid_t pids[2];
    for (int w = 0; w < 2; ++w) {
        pids[w] = proctest::Spawn([w] {
            CFileFace face;
            for (int k = 0; k < kEach; ++k) {
                const int i = w * kEach + k;
                AnyTag t = reltest::Record(memtag::kSourceBrakk, i);
                if (face.AddData(reltest::TypeOf(i), memtag::kSourceBrakk, &t, CString()) != 1)
                    return 1;
                // Deletes too, so that both take and release slots of the same free lists.
                if (k % 5 == 4 && face.DelData(CString(reltest::TagName(2, i - 2))) != 1)
                    return 2;
            }
            return 0;
        });
    }
    for (pid_t pid : pids)
        ASSERT_EQ(proctest::WaitBounded(pid, 120000), 0);
    CFileFace third;
    for (int i = 0; i < 2 * kEach; ++i) {
        CMemTag tag;
        const int found = third.GetSelute(CString(reltest::TagName(2, i)), tag);
        EXPECT_EQ(found, i % kEach % 5 == 2 ? 0 : 1) << i;
    }
    EXPECT_EQ(Show(Check()), "");
}

TEST_F(Names, AnEntryWhoseTypeFlippedNeverReleasesAnotherTagsRecord) {
    ASSERT_EQ(Add(3, 2, "A"), 40);  // real record at 40
    ASSERT_EQ(Add(1, 2, "B"), 40);  // boolean record at 40
    // One bit of A's entry flips: its type becomes boolean, so it points at B's record.
    auto idx = Bytes("TmpBrakkTagIndex.idx");
    const std::uint32_t word = (1u << 28) | 40u;
    std::memcpy(idx.data() + 40 + 36, &word, 4);
    mltest::WriteFileBytes(Path("TmpBrakkTagIndex.idx"), std::string(idx.begin(), idx.end()));
    EXPECT_EQ(engine->DeleteTag("A"), -1);
    EXPECT_EQ(engine->DeleteTag("B"), 1);
    EXPECT_EQ(engine->DeleteTag("A"), -1);
    // B's record slot is on its list once, and a new tag takes it without touching another.
    const auto boolFile = Bytes("TmpBrakkBoolTagInfo.tag");
    EXPECT_EQ(enginetest::U16(boolFile, enginetest::U32(boolFile, 36)), 1);
    ASSERT_EQ(Add(1, 2, "C"), 40);
    ASSERT_EQ(Add(1, 2, "D"), 40 + 538);
    EXPECT_EQ(engine->JustTagFromBRK("C"), 80);
}

TEST_F(Names, InspectorRepairBringsAStaleTreeIntoAgreement) {
    ASSERT_EQ(Add(2, 2, "SAVED"), 40);
    engine.reset();
    RunAndKill([](auto ready) {
        CFileFace face;
        AnyTag t = enginetest::MakeTag(2, "UNSAVED");
        if (face.AddData(2, 2, &t, CString()) != 1 || face.DelData(CString("SAVED")) != 1)
            return 1;
        ready();
        return 0;
    });
    EXPECT_NE(Show(Check()), "");  // the tree file is older than the index
    const std::string inspect = std::string(MEMLIST_BINARY_DIR) + "/out/memlist-inspect";
    const std::string out = reports / "repair.txt";
    ASSERT_EQ(std::system((inspect + " repair " + dir.path() + " --format csv >" + out).c_str()),
              0);
    EXPECT_EQ(mltest::ReadFileText(out), "source,name,was,now\nBRK,UNSAVED,0,80\nBRK,SAVED,40,0\n");
    EXPECT_EQ(Show(Check()), "");
}

TEST_F(Names, AProgramKilledInsideItsTreeSaveHoldsUpNoLaterSave) {
    engine.reset();
    CFileFace keeper;  // keeps the trees' locks attached throughout
    const std::string tree = Path("TmpBRKTagIndex.bpt");
    RunAndKill([&](auto ready) {
        CFileFace face;
        for (int i = 0; i < 50; ++i) {
            AnyTag t = reltest::Record(memtag::kSourceBrakk, i);
            if (face.AddData(reltest::TypeOf(i), memtag::kSourceBrakk, &t, CString()) != 1)
                return 1;
        }
        // Where its save stands when the kill comes: the exclusive side held, the new image
        // half written beside the file.
        CSynchronicLock lock;
        if (!lock.Create("TmpBRKTagIndex.bpt", 1) || !lock.TryWriteLock(500))
            return 2;
        mltest::WriteFileBytes(tree + ".~" + std::to_string(getpid()), "FileBPlusTree");
        ready();
        return 0;
    });
    {
        CFileFace writer;
        AnyTag t = reltest::Record(memtag::kSourceBrakk, 50);
        ASSERT_EQ(writer.AddData(reltest::TypeOf(50), memtag::kSourceBrakk, &t, CString()), 1);
    }  // its save must get the lock the killed program held
    CStringArray messages;
    keeper.GetErrStringArray(messages);
    EXPECT_EQ(messages.GetSize(), 0);
    FileBPlusTree saved;
    ASSERT_EQ(saved.LoadFromFile(tree.c_str()), 1);
    for (int i = 0; i <= 50; ++i) {
        int nValue = 0;
        EXPECT_EQ(saved.Find(CMyKey(reltest::TagName(2, i).c_str()), nullptr, &nValue), 1) << i;
        EXPECT_NE(nValue, 0);
    }
    saved.Close();
    for (const auto& entry : mltest::SnapshotDir(dir.path()))
        EXPECT_EQ(entry.first.find(".~"), std::string::npos) << entry.first << " left behind";
}

// The rename a child makes dies with it right before the record is written: what a kill
// between the two writes leaves on disk.
const char* g_szDieAt = nullptr;
ssize_t DyingPwrite(int fd, const void* buf, size_t n, off_t off) {
    if (n > sizeof(TagIndexEntry) &&
        std::strncmp(static_cast<const char*>(buf) + memtag::kTagNameOffset, g_szDieAt,
                     memtag::kTagNameField) == 0)
        raise(SIGKILL);
    return mlplat::PosixVfs().pwrite(fd, buf, n, off);
}

void RenameAndDie(const char* szOld, const char* szNew, bool bAddFirst) {
    const pid_t pid = proctest::Spawn([&] {
        CFileFace face;
        AnyTag t = enginetest::MakeTag(1, szOld);
        if (bAddFirst && face.AddData(1, memtag::kSourceZuZir, &t, CString()) != 1)
            return 1;
        g_szDieAt = szNew;
        mlplat::Vfs().pwrite = DyingPwrite;
        AnyTag renamed = enginetest::MakeTag(1, szNew);
        face.ModifyData(1, memtag::kSourceZuZir, &renamed, CString(szOld), CString());
        return 2;
    });
    ASSERT_EQ(proctest::WaitBounded(pid, 10000), 128 + SIGKILL);
}

TEST_F(Names, ARenameCutBetweenEntryAndRecordLeavesTheTagUnderItsOldName) {
    ASSERT_EQ(Add(1, 1, "SAVED"), 40);
    engine.reset();
    engine = std::make_unique<CFileDypass>();
    // This program runs on with SAVED in its image while another dies renaming it.
    ASSERT_NO_FATAL_FAILURE(RenameAndDie("SAVED", "NEW1", false));
    EXPECT_TRUE(FoundAsAdded("SAVED"));
    CMemTag none;
    EXPECT_EQ(engine->GetTagByName("NEW1", none), 0);
    // A tag the dying program added itself: no tree ever held its name.
    ASSERT_NO_FATAL_FAILURE(RenameAndDie("FRESH", "NEW2", true));
    Reopen();
    EXPECT_EQ(engine->JustTagFromRMP("FRESH"), 40 + 40);
    EXPECT_EQ(engine->JustTagFromRMP("NEW2"), 0);
    EXPECT_EQ(engine->JustTagFromRMP("SAVED"), 40);
    CloseAndExpectClean();
}

// Dies at the two-byte write that completes an entry appended at `g_offDie` of an index.
off_t g_offDie = 0;
ssize_t DyingAppend(int fd, const void* buf, size_t n, off_t off) {
    if (n == 2 && off == g_offDie)
        raise(SIGKILL);
    return mlplat::PosixVfs().pwrite(fd, buf, n, off);
}

TEST_F(Names, AnAddCutBeforeItsEntryWasWholeIsCompletedByTheNextWriter) {
    ASSERT_EQ(Add(1, 1, "FIRST"), 40);
    engine.reset();
    const pid_t pid = proctest::Spawn([] {
        CFileFace face;
        g_offDie = 80;
        mlplat::Vfs().pwrite = DyingAppend;
        AnyTag t = enginetest::MakeTag(1, "PHANTOM");
        face.AddData(1, memtag::kSourceZuZir, &t, CString());
        return 2;
    });
    ASSERT_EQ(proctest::WaitBounded(pid, 10000), 128 + SIGKILL);
    {
        // As the kill left it: listed (by its record), yet not found by its name.
        CFileDypass reader(CString(dir.path().c_str()), true);
        CArray<CMemTag, CMemTag&> all;
        reader.GetAllTags(all, 0);
        ASSERT_EQ(all.GetSize(), 2);
        EXPECT_EQ(all[1].strName, "PHANTOM");
        EXPECT_EQ(reader.JustTagFromRMP("PHANTOM"), 0);
    }
    engine = std::make_unique<CFileDypass>();
    EXPECT_EQ(engine->JustTagFromRMP("PHANTOM"), 80);
    EXPECT_TRUE(FoundAsAdded("PHANTOM"));
    CloseAndExpectClean();
}

// TAGA renamed to TAGB by a program killed before it saved its trees, so that the saved tree
// still leads TAGA to the entry; then renamed back by one killed inside the rename.
TEST_F(Names, ARenameBackCutByAKillLeavesTheTagUnderOneOfItsNames) {
    ASSERT_EQ(Add(1, 1, "TAGA"), 40);
    engine.reset();
    auto renameAndWait = [](const char* szOld, const char* szNew) {
        return [=](auto ready) {
            CFileFace face;
            AnyTag t = enginetest::MakeTag(1, szNew);
            if (face.ModifyData(1, memtag::kSourceZuZir, &t, CString(szOld), CString()) != 1)
                return 1;
            ready();
            return 0;
        };
    };
    ASSERT_NO_FATAL_FAILURE(RunAndKill(renameAndWait("TAGA", "TAGB")));
    // Killed before the record carried the name back: the tag is TAGB, as the rename never
    // returned.
    ASSERT_NO_FATAL_FAILURE(RenameAndDie("TAGB", "TAGA", false));
    engine = std::make_unique<CFileDypass>();
    EXPECT_TRUE(FoundAsAdded("TAGB"));
    CMemTag none;
    EXPECT_EQ(engine->GetTagByName("TAGA", none), 0);
    CloseAndExpectClean();

    // Killed once the record carried it, before the entry's name was whole: the tag is TAGA.
    const pid_t pid = proctest::Spawn([] {
        CFileFace face;
        g_offDie = 40;
        mlplat::Vfs().pwrite = DyingAppend;
        AnyTag t = enginetest::MakeTag(1, "TAGA");
        face.ModifyData(1, memtag::kSourceZuZir, &t, CString("TAGB"), CString());
        return 2;
    });
    ASSERT_EQ(proctest::WaitBounded(pid, 10000), 128 + SIGKILL);
    engine = std::make_unique<CFileDypass>();
    EXPECT_TRUE(FoundAsAdded("TAGA"));
    EXPECT_EQ(engine->JustTagFromRMP("TAGB"), 0);
    CloseAndExpectClean();
}

// What the same cut left when a rename wrote its entry whole first: the entry named as the
// tree has it, the record under the other name. A look-up of the entry's name and a repair
// each settle it: the entry takes back the record's name.
TEST_F(Names, AnEntryWhoseRecordCarriesAnotherNameIsSettledWhateverTheTreeSays) {
    ASSERT_EQ(Add(1, 1, "TAGA"), 40);
    ASSERT_EQ(Add(2, 1, "OTHER"), 40);  // its entry at 80
    engine.reset();
    auto patchRecordName = [&](const char* szName) {
        std::vector<std::uint8_t> b = Bytes("TmpZuZirBoolTagInfo.tag");
        std::memset(b.data() + 40 + memtag::kTagNameOffset, 0, memtag::kTagNameField);
        std::memcpy(b.data() + 40 + memtag::kTagNameOffset, szName, std::strlen(szName));
        mltest::WriteFileBytes(Path("TmpZuZirBoolTagInfo.tag"), std::string(b.begin(), b.end()));
    };
    patchRecordName("TAGB");
    engine = std::make_unique<CFileDypass>();
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName("TAGA", tag), 0);
    ASSERT_EQ(engine->GetTagByName("TAGB", tag), 1);
    EXPECT_EQ(engine->JustTagFromRMP("TAGB"), 40);
    CloseAndExpectClean();

    // Repair reads every record, so the name no look-up asked for is settled too.
    patchRecordName("TAGC");
    {
        CFileDypass repairer(CString(dir.path().c_str()), false);
        std::vector<CFileDypass::NameChange> changes;
        ASSERT_TRUE(repairer.ReconcileNames(memtag::kSourceZuZir, &changes, true));
        ASSERT_EQ(changes.size(), 2u);
        EXPECT_EQ(changes[0].strName, "TAGB");
        EXPECT_EQ(changes[1].strName, "TAGC");
        EXPECT_EQ(changes[1].nNew, 40);
    }
    EXPECT_EQ(Show(Check()), "");
    // A record whose name another tag holds (damage) is left alone.
    patchRecordName("OTHER");
    engine = std::make_unique<CFileDypass>();
    EXPECT_EQ(engine->GetTagByName("TAGC", tag), 0);
    EXPECT_EQ(engine->JustTagFromRMP("OTHER"), 80);
}

// Two live entries of one name: deleting the one the tree leads to, or renaming it away,
// leaves the other found by the name in the same program.
TEST_F(Names, ANameHeldTwiceStaysFoundWhenOneOfItsTagsLeaves) {
    ASSERT_EQ(Add(1, 1, "TWICE"), 40);
    ASSERT_EQ(Add(1, 1, "TWICE"), 40 + 538);
    ASSERT_EQ(engine->DeleteTag("TWICE"), 1);
    EXPECT_EQ(engine->JustTagFromRMP("TWICE"), 40);
    // Held twice again, by a program that did not give the name twice itself.
    ASSERT_EQ(Add(1, 1, "TWICE"), 40 + 538);
    Reopen();
    AnyTag renamed = enginetest::MakeTag(1, "AWAY");
    ASSERT_EQ(Modify(1, 1, &renamed, "TWICE"), 1);
    EXPECT_NE(engine->JustTagFromRMP("TWICE"), 0);
    EXPECT_NE(engine->JustTagFromRMP("AWAY"), 0);
    ASSERT_EQ(engine->DeleteTag("TWICE"), 1);
    EXPECT_EQ(engine->JustTagFromRMP("TWICE"), 0);
    CloseAndExpectClean();
}

// A program stopped (as in a debugger) while it holds the Brakk source's write lock.
TEST_F(Names, AStoppedHolderOfTheWriteLockFailsAChangeAsALockTimeOutAndDelaysNoOpen) {
    ASSERT_EQ(Add(1, 2, "KEEP"), 40);
    engine.reset();
    // Added by a program killed before it saved its tree: the next open needs the index.
    ASSERT_NO_FATAL_FAILURE(RunAndKill([](auto ready) {
        CFileFace face;
        AnyTag t = enginetest::MakeTag(1, "UNSAVED");
        if (face.AddData(1, memtag::kSourceBrakk, &t, CString()) != 1)
            return 1;
        ready();
        return 0;
    }));
    const proctest::ReportFile report(reports / "holder");
    const pid_t holder = proctest::Spawn([&] {
        CFileDypass e;
        CFileDypass::CWriteScope scope(e, memtag::kSourceBrakk);
        if (!scope.Held())
            return 1;
        report.Send("held");
        raise(SIGSTOP);
        return 0;
    });
    int st = 0;
    ASSERT_EQ(waitpid(holder, &st, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(st));
    ASSERT_EQ(report.Lines().size(), 1u);

    const std::uint64_t start = mlplat::TickMs();
    auto face = std::make_unique<CFileFace>();
    const std::uint64_t nOpenMs = mlplat::TickMs() - start;
    CMemTag tag;
    EXPECT_EQ(face->GetSelute(CString("UNSAVED"), tag), 1);
    // The open brings the tree up to date without the lock, after a tree's lock time-out at
    // most, not a writer's.
    EXPECT_LT(nOpenMs, CFileDypass::kWriteLockTimeoutMs);
    AnyTag renamed = enginetest::MakeTag(1, "KEPT");
    EXPECT_EQ(face->ModifyData(1, memtag::kSourceBrakk, &renamed, CString("KEEP"), CString()), -1);
    CStringArray msgs;
    face->GetErrStringArray(msgs);
    ASSERT_GE(msgs.GetSize(), 1);
    EXPECT_EQ(msgs[msgs.GetSize() - 1].str(),
              mltest::Gb("位号KEEP修改失败：其他程序正在写入同一数据来源，等待写锁超时！"));
    kill(holder, SIGKILL);
    ASSERT_EQ(proctest::WaitBounded(holder, 10000), 128 + SIGKILL);
    EXPECT_EQ(face->ModifyData(1, memtag::kSourceBrakk, &renamed, CString("KEEP"), CString()), 1);
    face.reset();
    EXPECT_EQ(Show(Check()), "");
}

// A sparse index of 1 GB whose F claims all of it: the open reads it in blocks, with memory to
// match the live entries, not the claim.
TEST_F(Names, AnIndexClaimingAGigabyteIsBroughtUpToDateInBoundedMemory) {
    ASSERT_EQ(Add(1, 2, "REAL"), 40);
    engine.reset();
    constexpr std::uint32_t kEnd = 40 + 40u * 26'000'000u;  // about 1 GB of slots
    ASSERT_EQ(truncate(Path("TmpBrakkTagIndex.idx").c_str(), off_t{kEnd} + 2), 0);
    {
        CFile f;
        ASSERT_TRUE(f.Open(Path("TmpBrakkTagIndex.idx").c_str(), CFile::modeReadWrite));
        ASSERT_TRUE(f.WriteAt(36, &kEnd, 4));
    }
    std::remove(Path("TmpBRKTagIndex.bpt").c_str());  // every name from the index
    const pid_t pid = proctest::Spawn([] {
        CFileDypass e;
        return e.JustTagFromBRK("REAL") == 40 ? 0 : 1;
    });
    // This child's own peak, not the largest of every child the tests made.
    rusage usage{};
    int st = 0;
    pid_t r = 0;
    for (int waited = 0; (r = wait4(pid, &st, WNOHANG, &usage)) == 0 && waited < 120000;
         waited += 10)
        proctest::SleepUs(10000);
    if (r == 0) {
        kill(pid, SIGKILL);
        r = wait4(pid, &st, 0, &usage);
    }
    ASSERT_EQ(r, pid);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_LT(usage.ru_maxrss, 400L * 1024) << "KiB at the most";
}

}  // namespace
