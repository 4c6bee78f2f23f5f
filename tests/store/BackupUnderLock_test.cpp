// Backup, recovery and removal of a source while another program writes it: each takes or
// replaces one state of the source, and the writer sees what was recovered.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FileFace.h"
#include "ProcessSupport.h"
#include "StoreCheck.h"
#include "StoreWorkload.h"
#include "TestSupport.h"
#include "Vfs.h"
#include "gbtext/StoreTexts.h"

namespace {

constexpr int kSource = memtag::kSourceZuZir;
constexpr int kMaxWriterOps = 50000;
constexpr int kWaitMs = 60000;

// The files of the source, as backup names them "Old" + name.
std::vector<std::string> SourceFileNames() {
    std::vector<std::string> names;
    for (int nKind = 0; nKind <= 7; ++nKind)
        names.push_back(CFileDypass::SlotFileName(CFileDypass::SlotOf(nKind, kSource)));
    names.push_back(CFileDypass::kZuZirTreeName);
    return names;
}

std::string Describe(const StoreFinding& f) {
    return f.strFile.str() + " @" + std::to_string(f.nOffset) + ": " + f.strText.str();
}

// Findings of the store in `dir` that are damage, not room left unused.
std::vector<std::string> Damage(const std::string& dir) {
    std::vector<std::string> out;
    for (const StoreFinding& f : CStoreCheck::CheckDirectory(CString(dir)))
        if (!f.bReclaimable)
            out.push_back(Describe(f));
    return out;
}

// Waits until `report` holds more than `nLines` lines; false when the writer stopped first.
bool WaitForLines(const proctest::ReportFile& report, size_t nLines) {
    for (int waited = 0; waited < kWaitMs; waited += 2) {
        if (report.Lines().size() > nLines)
            return true;
        proctest::SleepUs(2000);
    }
    return false;
}

class BackupUnderLock : public enginetest::StoreDirTest {
protected:
    mltest::TempDir reports;
    const std::string stop = reports / "stop";

    // Adds tags of the source from `nFirst` on and deletes every third a little later, until
    // told to stop; each add is reported.
    int RunWriter(int nFirst, const proctest::ReportFile& report) const {
        CFileFace face;
        for (int i = nFirst; i < nFirst + kMaxWriterOps && !mltest::FileExists(stop); ++i) {
            enginetest::AnyTag rec = reltest::Record(kSource, i);
            if (face.AddData(reltest::TypeOf(i), kSource, &rec, CString()) != 1)
                return 2;
            report.Send("A " + std::to_string(i));
            if (i % 3 == 2 && face.DelData(CString(reltest::TagName(kSource, i - 2))) != 1)
                return 3;
            // Paced, so that the source stays small enough for many backups.
            proctest::SleepUs(300);
        }
        return 0;
    }
};

// Every backup taken while another program adds and deletes tags of the source is a set the
// store check finds sound once its files are put under their live names.
TEST_F(BackupUnderLock, EveryBackupIsOneStateOfTheSource) {
    { CFileFace setup; }
    const proctest::ReportFile report(reports / "writer");
    const pid_t writer = proctest::Spawn([&] { return RunWriter(0, report); });
    CFileFace face;
    constexpr int kBackups = 25;
    size_t nSeen = 0;
    for (int k = 0; k < kBackups; ++k) {
        // The writer has added since the last backup: each one meets it at work.
        ASSERT_TRUE(WaitForLines(report, nSeen)) << "the writer stopped";
        nSeen = report.Lines().size();
        ASSERT_EQ(face.BackupAsOldFile(kSource), 1);
        mltest::TempDir copy;
        { CFileDypass empty(CString(copy.path()), false); }
        for (const std::string& name : SourceFileNames()) {
            const std::vector<std::uint8_t> b = mltest::ReadFileBytes(dir / ("Old" + name));
            mltest::WriteFileBytes(copy / name, std::string(b.begin(), b.end()));
        }
        for (const std::string& damage : Damage(copy.path()))
            ADD_FAILURE() << "backup " << k << ": " << damage;
    }
    mltest::WriteFileBytes(stop, "");
    EXPECT_EQ(proctest::WaitBounded(writer, kWaitMs), 0);
}

// A recovery while another program writes the source leaves a sound set; the writer finds a
// tag it had deleted that the backup brought back, and what it adds afterwards is found here.
TEST_F(BackupUnderLock, RecoveryWhileAnotherProgramWritesIsSeenByBoth) {
    constexpr int kBackedUp = 20;
    {
        CFileFace setup;
        for (int i = 0; i < kBackedUp; ++i) {
            enginetest::AnyTag rec = reltest::Record(kSource, i);
            ASSERT_EQ(setup.AddData(reltest::TypeOf(i), kSource, &rec, CString()), 1);
        }
        ASSERT_EQ(setup.BackupAsOldFile(kSource), 1);
    }
    const std::string recovered = reports / "recovered";
    const std::string late = reltest::TagName(kSource, 900000);
    const proctest::ReportFile report(reports / "writer");
    const pid_t writer = proctest::Spawn([&] {
        CFileFace face;
        if (face.DelData(CString(reltest::TagName(kSource, 0))) != 1)
            return 2;
        for (int i = 1000; i < 1000 + kMaxWriterOps && !mltest::FileExists(recovered); ++i) {
            enginetest::AnyTag rec = reltest::Record(kSource, i);
            if (face.AddData(reltest::TypeOf(i), kSource, &rec, CString()) != 1)
                return 3;
            report.Send("A " + std::to_string(i));
        }
        CMemTag tag;
        if (face.GetSelute(CString(reltest::TagName(kSource, 0)), tag) != 1)
            return 4;  // the recovery brought it back
        enginetest::AnyTag rec = reltest::Record(kSource, 900000);
        return face.AddData(reltest::TypeOf(900000), kSource, &rec, CString()) == 1 ? 0 : 5;
    });
    {
        CFileFace face;
        ASSERT_TRUE(WaitForLines(report, 20)) << "the writer stopped";
        ASSERT_EQ(face.RecoverWithOldFile(kSource), 1);
        mltest::WriteFileBytes(recovered, "");
        ASSERT_EQ(proctest::WaitBounded(writer, kWaitMs), 0);
        CMemTag tag;
        EXPECT_EQ(face.GetSelute(CString(late), tag), 1) << late;
        for (int i = 0; i < kBackedUp; ++i)
            EXPECT_EQ(face.GetSelute(CString(reltest::TagName(kSource, i)), tag), 1) << i;
    }
    for (const std::string& damage : Damage(dir.path()))
        ADD_FAILURE() << damage;
}

// A write that waits for the lock while another program removes the source's files does not
// go into the removed files: it fails, or its tag is in the new set.
TEST_F(BackupUnderLock, AWriteThatWaitedForARemovalIsNotLost) {
    { CFileFace setup; }
    const std::string locked = reports / "locked";
    const proctest::ReportFile report(reports / "writer");
    const pid_t writer = proctest::Spawn([&] {
        CFileFace face;
        report.Send("O");
        for (int waited = 0; !mltest::FileExists(locked); waited += 2) {
            if (waited > kWaitMs)
                return 2;
            proctest::SleepUs(2000);
        }
        report.Send("W");
        enginetest::AnyTag rec = reltest::Record(kSource, 7);
        const int r = face.AddData(reltest::TypeOf(7), kSource, &rec, CString());
        report.Send("R " + std::to_string(r));
        return 0;
    });
    ASSERT_TRUE(WaitForLines(report, 0));
    {
        CFileDypass engine;
        CStoreWriteScope scope(engine, kSource);
        ASSERT_TRUE(scope.Held());
        mltest::WriteFileBytes(locked, "");
        ASSERT_TRUE(WaitForLines(report, 1));
        // Time for the writer to reach the lock; a writer that comes later meets the new set.
        proctest::SleepUs(300000);
        ASSERT_EQ(engine.RemoveAllRMPFile(0), 1);
    }
    ASSERT_EQ(proctest::WaitBounded(writer, kWaitMs), 0);
    const std::vector<std::string> lines = report.Lines();
    ASSERT_EQ(lines.size(), 3u);
    CFileFace face;
    CMemTag tag;
    if (lines[2] == "R 1")
        EXPECT_EQ(face.GetSelute(CString(reltest::TagName(kSource, 7)), tag), 1)
            << "the add returned 1 but its tag went with the removed files";
    else
        EXPECT_EQ(lines[2], "R -1");
}

// While another program keeps the source's write lock, backup, recovery and removal change no
// file, say why and return 0; once it lets go they work.
TEST_F(BackupUnderLock, ALockKeptPastTheWaitStopsBackupRecoveryAndRemoval) {
    {
        CFileFace setup;
        enginetest::AnyTag rec = reltest::Record(kSource, 1);
        ASSERT_EQ(setup.AddData(reltest::TypeOf(1), kSource, &rec, CString()), 1);
    }
    const std::string held = reports / "held";
    const pid_t holder = proctest::Spawn([&] {
        CFileDypass engine;
        CStoreWriteScope scope(engine, kSource);
        if (!scope.Held())
            return 2;
        mltest::WriteFileBytes(held, "");
        for (int waited = 0; !mltest::FileExists(stop); waited += 2) {
            if (waited > kWaitMs)
                return 3;
            proctest::SleepUs(2000);
        }
        return 0;
    });
    for (int waited = 0; !mltest::FileExists(held) && waited < kWaitMs; waited += 2)
        proctest::SleepUs(2000);
    ASSERT_TRUE(mltest::FileExists(held));

    CFileFace face;
    const auto before = mltest::SnapshotDir(dir.path(), CFileDypass::kErrFileName);
    EXPECT_EQ(face.BackupAsOldFile(kSource), 0);
    EXPECT_EQ(face.RecoverWithOldFile(kSource), 0);
    EXPECT_EQ(face.RemoveAllRMPFile(0), 0);
    EXPECT_EQ(mltest::SnapshotDir(dir.path(), CFileDypass::kErrFileName), before);
    char text[3][160];
    std::snprintf(text[0], sizeof text[0], gbtext::BackupLockTimedOut, kSource);
    std::snprintf(text[1], sizeof text[1], gbtext::RecoverLockTimedOut, kSource);
    std::snprintf(text[2], sizeof text[2], gbtext::RemoveLockTimedOut, kSource);
    EXPECT_EQ(mltest::Messages(face), (std::vector<std::string>{text[0], text[1], text[2]}));
    CMemTag tag;
    EXPECT_EQ(face.GetSelute(CString(reltest::TagName(kSource, 1)), tag), 1);

    mltest::WriteFileBytes(stop, "");
    ASSERT_EQ(proctest::WaitBounded(holder, kWaitMs), 0);
    EXPECT_EQ(face.BackupAsOldFile(kSource), 1);
    EXPECT_EQ(face.RemoveAllRMPFile(0), 1);
    EXPECT_EQ(face.GetSelute(CString(reltest::TagName(kSource, 1)), tag), 0);
    EXPECT_EQ(face.RecoverWithOldFile(kSource), 1);
    EXPECT_EQ(face.GetSelute(CString(reltest::TagName(kSource, 1)), tag), 1);
}

// While a closing program writes its tree file, another program adds a tag and closes (so saves
// its own, newer tree first). The closing program's tree was brought up to date with the index
// under the source's write lock: either that add waited and failed, or it came before and is in.
int g_treeNameLen = 0;
bool g_otherRan = false;
int g_otherResult = -1;

int OpenatWithAnotherProgram(int dirfd, const char* name, int flags, mode_t mode) {
    const char* tree = CFileDypass::kZuZirTreeName;
    if (!g_otherRan && std::strncmp(name, tree, static_cast<size_t>(g_treeNameLen)) == 0 &&
        std::strncmp(name + g_treeNameLen, ".~", 2) == 0) {
        g_otherRan = true;  // before the fork: the other program's own save passes through
        const pid_t other = proctest::Spawn([] {
            CFileFace face;
            enginetest::AnyTag rec = reltest::Record(kSource, 2);
            return face.AddData(reltest::TypeOf(2), kSource, &rec, CString()) == 1 ? 0 : 1;
        });
        g_otherResult = proctest::WaitBounded(other, kWaitMs);
    }
    return mlplat::PosixVfs().openat(dirfd, name, flags, mode);
}

TEST_F(BackupUnderLock, ATreeSavedAtCloseIsNeverOlderThanAnotherProgramsSave) {
    auto face = std::make_unique<CFileFace>();
    enginetest::AnyTag rec = reltest::Record(kSource, 1);
    ASSERT_EQ(face->AddData(reltest::TypeOf(1), kSource, &rec, CString()), 1);
    g_treeNameLen = static_cast<int>(std::strlen(CFileDypass::kZuZirTreeName));
    mlplat::Vfs().openat = OpenatWithAnotherProgram;
    face.reset();
    mlplat::Vfs() = mlplat::PosixVfs();
    ASSERT_TRUE(g_otherRan);
    EXPECT_NE(g_otherResult, -1) << "the other program did not end";
    EXPECT_EQ(Damage(dir.path()), std::vector<std::string>{});
}

}  // namespace
