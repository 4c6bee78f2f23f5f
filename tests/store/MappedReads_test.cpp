// A program reading the store through its mappings while another program restores or replaces
// the files under it: no signal, and every answer either right or the specified failure.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "EngineFixture.h"
#include "ProcessSupport.h"

namespace {

using enginetest::EngineTest;
using Clock = std::chrono::steady_clock;

constexpr int kKept = 20;     // tags in the backup
constexpr int kLater = 3000;  // tags added after it: the live files are far longer
constexpr int kRestores = 25;

std::string TagName(int i) {
    return "T" + std::to_string(100000 + i);
}

// Writes `bytes` over the start of `path` without cutting it, as the store writes.
bool WriteInPlace(const std::string& path, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    close(fd);
    return ok;
}

// Lists and looks up until `stop` exists: every tag listed carries its own fields, and a
// look-up either finds the tag as itself or fails. 0 when every answer was sound.
int ReadUntilStopped(const std::string& stop, const proctest::ReportFile& report) {
    CFileDypass e;
    const auto start = Clock::now();
    for (int round = 0; !std::filesystem::exists(stop); ++round) {
        if (Clock::now() - start > std::chrono::seconds(60))
            return 5;
        CArray<CMemTag, CMemTag&> all;
        e.GetAllTags(all, 0);
        if (all.GetSize() > kKept + kLater)
            return 2;
        for (int i = 0; i < all.GetSize(); ++i) {
            const std::string name = all[i].strName.str();
            if (name.size() != 7 || name[0] != 'T' || all[i].strDesc.str() != "desc of " + name)
                return 3;
        }
        for (int i = 0; i < kKept + kLater; i += 97) {
            CMemTag tag;
            if (e.GetTagByName(CString(TagName(i)), tag) == 1 && tag.strName.str() != TagName(i))
                return 4;
        }
        if (round == 0)
            report.Send("reading");
    }
    return 0;
}

bool AwaitLine(const proctest::ReportFile& report) {
    for (int waited = 0; waited < 30000; waited += 5) {
        if (!report.Lines().empty())
            return true;
        proctest::SleepUs(5000);
    }
    return false;
}

class MappedReads : public EngineTest {};

TEST_F(MappedReads, ARestoreFromAShorterBackupRaisesNoSignalInAReader) {
    for (int i = 0; i < kKept; ++i)
        ASSERT_GT(Add(memtag::kTypeInt, memtag::kSourceBrakk, TagName(i)), 0);
    ASSERT_EQ(engine->BackupAsOldFile(memtag::kSourceBrakk), 1);
    for (int i = kKept; i < kKept + kLater; ++i)
        ASSERT_GT(Add(memtag::kTypeInt, memtag::kSourceBrakk, TagName(i)), 0);
    // The long files, to be put back in place (never cut) before every restore.
    std::map<std::string, std::string> longer;
    for (const auto& [name, bytes] : mltest::SnapshotDir(dir.path())) {
        const auto old = mltest::FileSize(dir / ("Old" + name));
        if (old >= 0 && static_cast<long long>(bytes.size()) > old)
            longer[name] = bytes;
    }
    ASSERT_FALSE(longer.empty());

    const std::string stop = dir / "stop";
    const proctest::ReportFile report(dir / "report");
    const pid_t reader = proctest::Spawn([&] { return ReadUntilStopped(stop, report); });
    ASSERT_TRUE(AwaitLine(report));
    for (int n = 0; n < kRestores; ++n) {
        for (const auto& [name, bytes] : longer)
            ASSERT_TRUE(WriteInPlace(dir / name, bytes));
        proctest::SleepUs(2000);
        ASSERT_EQ(engine->RecoverWithOldFile(memtag::kSourceBrakk), 1);
    }
    mltest::WriteFileBytes(stop, "");
    EXPECT_EQ(proctest::WaitBounded(reader, 90000), 0) << "128 + a signal: killed by it";
    // The restore itself still gives the backup's tags.
    CArray<CMemTag, CMemTag&> all;
    engine->GetAllTags(all, 0);
    EXPECT_EQ(all.GetSize(), kKept);
}

TEST_F(MappedReads, ASetReplacedByAnotherProgramIsSeenAfterTheSetIsOpenedAgain) {
    for (int i = 0; i < kKept; ++i)
        ASSERT_GT(Add(memtag::kTypeInt, memtag::kSourceBrakk, TagName(i)), 0);
    CArray<CMemTag, CMemTag&> before;
    engine->GetAllTags(before, 0);
    ASSERT_EQ(before.GetSize(), kKept);

    // Another program builds a set of other tags beside it and renames it over this one.
    mltest::TempDir other;
    const pid_t replacer = proctest::Spawn([&] {
        mltest::ScopedEnv at{"QLX_PATH_D_TEMP", other.path().c_str()};
        {
            CFileDypass e;
            for (int i = 0; i < 2 * kKept; ++i) {
                enginetest::AnyTag t = enginetest::MakeTag(memtag::kTypeFloat, TagName(500 + i));
                if (Add(memtag::kTypeFloat, memtag::kSourceBrakk, t, &e) <= 0)
                    return 2;
            }
        }
        for (const auto& [name, bytes] : mltest::SnapshotDir(other.path()))
            if (std::rename((other / name).c_str(), (dir / name).c_str()) != 0)
                return 3;
        return 0;
    });
    ASSERT_EQ(proctest::WaitBounded(replacer, 60000), 0);

    // The open files still have the old bytes; no read meets a missing page.
    CArray<CMemTag, CMemTag&> still;
    engine->GetAllTags(still, 0);
    EXPECT_EQ(still.GetSize(), kKept);
    // Opened again, the set is the new one, read through new mappings.
    ASSERT_EQ(engine->SetConfigureFilePath(CString(dir.path())), 1);
    CArray<CMemTag, CMemTag&> after;
    engine->GetAllTags(after, 0);
    ASSERT_EQ(after.GetSize(), 2 * kKept);
    for (int i = 0; i < after.GetSize(); ++i)
        EXPECT_EQ(after[i].strName.str().substr(0, 4), "T100") << i;
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName(CString(TagName(500)), tag), 1);
    EXPECT_EQ(tag.nDataType, memtag::kTypeFloat);
}

}  // namespace
