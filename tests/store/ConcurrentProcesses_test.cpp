// Several programs on one store directory at once: one writer per source, readers beside
// them, and two programs saving one name tree.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "FileFace.h"
#include "ProcessSupport.h"
#include "StoreCheck.h"
#include "StoreWorkload.h"
#include "TestSupport.h"
#include "filebplustreenode.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWriterMs = 2500;
constexpr int kMaxOpsPerWriter = 4000;
constexpr int kCheckpointEvery = 150;  // a backup saves the writer's name tree for readers
constexpr int kReaders = 3;

bool Elapsed(Clock::time_point start, int ms) {
    return Clock::now() - start > std::chrono::milliseconds(ms);
}

// Adds tags of one source, deletes every seventh a little later, saves its tree now and then.
int RunWriter(int nSource, const proctest::ReportFile& report) {
    CFileFace face;
    const auto start = Clock::now();
    for (int i = 0; i < kMaxOpsPerWriter && !Elapsed(start, kWriterMs); ++i) {
        enginetest::AnyTag rec = reltest::Record(nSource, i);
        if (face.AddData(reltest::TypeOf(i), nSource, &rec, CString()) != 1)
            return 2;
        report.Send("A " + std::to_string(i));
        if (i % 7 == 3) {
            if (face.DelData(CString(reltest::TagName(nSource, i - 3))) != 1)
                return 3;
            report.Send("D " + std::to_string(i - 3));
        }
        if (i % kCheckpointEvery == kCheckpointEvery - 1 && face.BackupAsOldFile(nSource) != 1)
            return 4;
    }
    return 0;  // closing saves the tree
}

// Lists and looks up tags while the writers work, reloading the trees now and then: every
// record seen must carry the fields of its own name, and a name found must read back as itself.
int RunReader(const std::string& dir, const proctest::ReportFile& report) {
    CFileFace face;
    const auto start = Clock::now();
    long long nSeen = 0, nFound = 0;
    for (int round = 0; !Elapsed(start, kWriterMs + 300); ++round) {
        CArray<CMemTag, CMemTag&> arr;
        face.GetAllTags(arr, 0);
        for (int k = 0; k < arr.GetSize(); ++k) {
            const std::string bad = reltest::Mismatch(arr[k]);
            if (!bad.empty()) {
                report.Send("X listed " + bad);
                return 5;
            }
            ++nSeen;
            if (k % 5 != 0)
                continue;
            CMemTag tag;
            if (face.GetSelute(arr[k].strName, tag) == 1) {
                const std::string badFound = reltest::Mismatch(tag);
                if (tag.strName != arr[k].strName || !badFound.empty()) {
                    report.Send("X found " + arr[k].strName.str() + " as " + tag.strName.str() +
                                " " + badFound);
                    return 6;
                }
                ++nFound;
            }
        }
        if (round % 4 == 3)
            face.SetConfigureFilePath(CString(dir));
    }
    report.Send("R " + std::to_string(nSeen) + " " + std::to_string(nFound));
    return 0;
}

struct Expected {
    std::set<int> live, deleted;
};

Expected Replay(const std::vector<std::string>& lines) {
    Expected e;
    for (const std::string& line : lines) {
        const int i = std::atoi(line.c_str() + 2);
        if (line[0] == 'A') {
            e.live.insert(i);
        } else if (line[0] == 'D') {
            e.live.erase(i);
            e.deleted.insert(i);
        }
    }
    return e;
}

TEST(ConcurrentProcesses, WritersAndReadersSeeOnlyWholeRecordsAndNothingAddedIsLost) {
    mltest::TempDir dir, reports;
    mltest::ScopedEnv env("QLX_PATH_D_TEMP", dir.path().c_str());
    mltest::ScopedEnv noAreas("QLX_PATH_D_AREAINFO", nullptr);
    { CFileFace setup; }  // the set and its trees exist before anyone works on them

    const proctest::ReportFile brakk(reports / "brakk"), zuzir(reports / "zuzir");
    std::vector<proctest::ReportFile> readerReports;
    for (int r = 0; r < kReaders; ++r)
        readerReports.emplace_back(reports / ("reader" + std::to_string(r)));
    std::vector<pid_t> pids;
    pids.push_back(proctest::Spawn([&] { return RunWriter(memtag::kSourceBrakk, brakk); }));
    pids.push_back(proctest::Spawn([&] { return RunWriter(memtag::kSourceZuZir, zuzir); }));
    for (int r = 0; r < kReaders; ++r)
        pids.push_back(proctest::Spawn([&, r] { return RunReader(dir.path(), readerReports[r]); }));
    for (pid_t pid : pids)
        EXPECT_EQ(proctest::WaitBounded(pid, 60000), 0) << "process " << pid;

    long long nSeen = 0;
    for (const auto& rep : readerReports) {
        const auto lines = rep.Lines();
        for (const std::string& line : lines) {
            EXPECT_NE(line[0], 'X') << line;
            if (line[0] == 'R')
                nSeen += std::atoll(line.c_str() + 2);
        }
    }
    EXPECT_GT(nSeen, 0) << "the readers saw no record at all";
    RecordProperty("records_read", static_cast<int>(nSeen));
    RecordProperty("writer_lines", static_cast<int>(brakk.Lines().size() + zuzir.Lines().size()));

    CFileFace face;
    CArray<CMemTag, CMemTag&> all;
    face.GetAllTags(all, 0);
    std::map<int, int> perSource;
    for (int k = 0; k < all.GetSize(); ++k) {
        EXPECT_EQ(reltest::Mismatch(all[k]), "");
        ++perSource[all[k].nDataSource];
    }
    for (const auto& [nSource, rep] :
         {std::pair<int, const proctest::ReportFile*>{memtag::kSourceBrakk, &brakk},
          {memtag::kSourceZuZir, &zuzir}}) {
        const Expected e = Replay(rep->Lines());
        ASSERT_GT(e.live.size(), 100u) << "source " << nSource;
        EXPECT_EQ(perSource[nSource], static_cast<int>(e.live.size())) << "source " << nSource;
        for (int i : e.live) {
            CMemTag tag;
            ASSERT_EQ(face.GetSelute(CString(reltest::TagName(nSource, i)), tag), 1)
                << reltest::TagName(nSource, i);
            EXPECT_EQ(reltest::Mismatch(tag), "");
        }
        for (int i : e.deleted) {
            CMemTag tag;
            EXPECT_EQ(face.GetSelute(CString(reltest::TagName(nSource, i)), tag), 0);
        }
    }
    const auto findings = CStoreCheck::CheckDirectory(CString(dir.path()));
    for (const StoreFinding& f : findings)
        ADD_FAILURE() << f.strFile.str() << " @" << f.nOffset << ": " << f.strText.str();
}

// Two programs keep inserting into their own image of one tree file and saving it, while this
// one loads the file over and over: every load is one whole image of one writer.
TEST(ConcurrentProcesses, TwoWritersSavingOneTreeNeverLeaveATornFile) {
    mltest::TempDir dir;
    const std::string path = dir / ("both." + std::to_string(getpid()) + ".bpt");
    constexpr int kBatch = 25;
    auto writer = [&](char cWho, const proctest::ReportFile& report) {
        FileBPlusTree tree;
        if (!tree.CreateInMemory(CString(path), 10, 0))
            return 2;
        const auto start = Clock::now();
        int n = 0, nSaved = 0;
        while (!Elapsed(start, 1500) || nSaved == 0) {
            for (int k = 0; k < kBatch; ++k, ++n) {
                char key[16];
                std::snprintf(key, sizeof key, "%c-%06d", cWho, n);
                if (!tree.Insert(CMyKey(key), n, 1, nullptr))
                    return 3;
            }
            // A save may time out while the other writer or the loader holds the lock.
            for (int attempt = 0; attempt < 20; ++attempt) {
                if (tree.SaveToFile(CString())) {
                    ++nSaved;
                    report.Send("S " + std::to_string(n));
                    break;
                }
            }
            if (Elapsed(start, 20000))
                return 4;
            // Programs save now and then, not back to back: a pause lets the loader in.
            proctest::SleepUs(15000 + 7000 * (n / kBatch % 3));
        }
        return 0;
    };
    const proctest::ReportFile repA(dir / "a.rep"), repC(dir / "c.rep");
    const pid_t a = proctest::Spawn([&] { return writer('A', repA); });
    const pid_t c = proctest::Spawn([&] { return writer('C', repC); });

    // Checks one loaded image: which writer made it and that all of its keys are there.
    auto checkWhole = [](FileBPlusTree& tree, char& cWho) -> std::string {
        const int n = tree.GetRecordCount();
        const bool bA = tree.Find(CMyKey("A-000000")) == 1;
        const bool bC = tree.Find(CMyKey("C-000000")) == 1;
        if (bA == bC)
            return "the image holds keys of both writers or of neither";
        cWho = bA ? 'A' : 'C';
        if (n <= 0 || n % kBatch != 0)
            return "record count " + std::to_string(n);
        for (int k = 0; k < n; ++k) {
            char key[16];
            std::snprintf(key, sizeof key, "%c-%06d", cWho, k);
            int value = -1;
            if (tree.Find(CMyKey(key), nullptr, &value, nullptr) != 1 || value != k)
                return std::string("key ") + key + " missing or wrong";
        }
        char beyond[16];
        std::snprintf(beyond, sizeof beyond, "%c-%06d", cWho, n);
        if (tree.Find(CMyKey(beyond)) == 1)
            return "a key beyond the record count";
        return {};
    };

    int nLoads = 0;
    const pid_t pids[2] = {a, c};
    int status[2] = {-2, -2};  // -2 while running
    const auto start = Clock::now();
    std::string bad;
    while ((status[0] == -2 || status[1] == -2) && bad.empty() && !Elapsed(start, 30000)) {
        FileBPlusTree tree;
        if (tree.LoadFromFile(CString(path))) {
            char cWho = 0;
            bad = checkWhole(tree, cWho);
            ++nLoads;
        }
        for (int j = 0; j < 2; ++j) {
            int st = 0;
            if (status[j] == -2 && waitpid(pids[j], &st, WNOHANG) == pids[j])
                status[j] = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        }
        proctest::SleepUs(2000);
    }
    for (int j = 0; j < 2; ++j) {
        if (status[j] == -2)
            status[j] = proctest::WaitBounded(pids[j], 30000);
        EXPECT_EQ(status[j], 0) << "writer " << j;
    }
    ASSERT_EQ(bad, "") << "load " << nLoads;
    EXPECT_GT(nLoads, 0);
    RecordProperty("whole_loads", nLoads);

    // Whichever saved last, the file is its last image, whole.
    FileBPlusTree last;
    ASSERT_EQ(last.LoadFromFile(CString(path)), 1);
    char cWho = 0;
    ASSERT_EQ(checkWhole(last, cWho), "");
    const auto lines = (cWho == 'A' ? repA : repC).Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(last.GetRecordCount(), std::atoi(lines.back().c_str() + 2));
    // No temporary image is left beside the file.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".~"), std::string::npos) << entry.path();
}

}  // namespace
