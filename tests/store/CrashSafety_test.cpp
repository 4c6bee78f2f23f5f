// Writers killed at random points: whatever the kill interrupts, the next program opens the
// store, the check names what the kill left half done, and nothing written before is lost.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>

#include "FileFace.h"
#include "ProcessSupport.h"
#include "StoreCheck.h"
#include "StoreWorkload.h"
#include "TestSupport.h"

namespace {

constexpr int kRounds = 16;
constexpr int kCleanEvery = 4;  // every fourth writer closes the store instead of being killed
constexpr int kPerRound = 20000;

// Adds tags of both sources (and deletes some of its own) until killed or, in a clean round,
// until `nClean` tags are added; then it closes the store, which saves the name trees.
// The kill never lands in the open or the close: those hold the trees' cross-process lock,
// and a share left by a killed holder would hold off every other program until all let go.
int RunWriter(int nRound, int nClean, const proctest::ReportFile& report) {
    CFileFace face;
    report.Send("O");
    const int nBase = nRound * kPerRound;
    for (int k = 0; k < kPerRound - 1; ++k) {
        if (nClean > 0 && k >= nClean)
            break;
        const int i = nBase + k;
        const int nSource = k % 2 ? memtag::kSourceZuZir : memtag::kSourceBrakk;
        enginetest::AnyTag rec = reltest::Record(nSource, i);
        if (face.AddData(reltest::TypeOf(i), nSource, &rec, CString()) != 1)
            return 2;
        report.Send("A " + std::to_string(nSource) + " " + std::to_string(i));
        if (k % 10 == 9) {
            const int j = i - 6;  // same source as i
            report.Send("P " + std::to_string(nSource) + " " + std::to_string(j));
            if (face.DelData(CString(reltest::TagName(nSource, j))) != 1)
                return 3;
            report.Send("D " + std::to_string(nSource) + " " + std::to_string(j));
        }
    }
    if (nClean > 0) {
        report.Send("C");
        return 0;
    }
    proctest::SleepUs(60 * 1000 * 1000);  // the parent kills it before
    return 4;
}

struct Model {
    std::map<std::string, bool> tags;  // name -> still live
    std::set<std::string> savedNames;  // live when a writer last closed the set
};

TEST(CrashSafety, WritersKilledAtRandomPointsLoseNothingWritten) {
    mltest::TempDir dir, reports;
    mltest::ScopedEnv env("QLX_PATH_D_TEMP", dir.path().c_str());
    mltest::ScopedEnv noAreas("QLX_PATH_D_AREAINFO", nullptr);
    { CFileFace setup; }

    std::mt19937 rng(20240611u);
    Model model;
    int nKills = 0, nFindings = 0, nUnnamed = 0;
    for (int round = 0; round < kRounds; ++round) {
        const bool bClean = round % kCleanEvery == kCleanEvery - 1;
        const proctest::ReportFile report(reports / ("round" + std::to_string(round)));
        const int nClean = bClean ? 60 : 0;
        const pid_t pid = proctest::Spawn([&] { return RunWriter(round, nClean, report); });
        if (bClean) {
            ASSERT_EQ(proctest::WaitBounded(pid, 30000), 0) << "round " << round;
        } else {
            // Wait until the writer has opened the set, let it run a random while, kill it.
            for (int waited = 0; report.Lines().empty() && waited < 10000; waited += 2)
                proctest::SleepUs(2000);
            ASSERT_FALSE(report.Lines().empty()) << "the writer never opened the set";
            proctest::SleepUs(std::uniform_int_distribution<long>(500, 40000)(rng));
            kill(pid, SIGKILL);
            ASSERT_EQ(proctest::WaitBounded(pid, 10000), 128 + SIGKILL) << "round " << round;
            ++nKills;
        }
        for (const std::string& line : report.Lines()) {
            if (line[0] != 'A' && line[0] != 'D' && line[0] != 'P')
                continue;
            const int nSource = std::atoi(line.c_str() + 2);
            const std::string name = reltest::TagName(nSource, std::atoi(line.c_str() + 4));
            if (line[0] == 'P')
                model.tags.erase(name);  // a delete under way: its outcome is not known
            else
                model.tags[name] = line[0] == 'A';
        }
        // A clean close saves the names its writer knew: those saved before and its own.
        for (auto it = model.savedNames.begin(); it != model.savedNames.end();)
            it = model.tags.count(*it) && model.tags[*it] ? std::next(it)
                                                          : model.savedNames.erase(it);
        if (bClean) {
            const std::string first = reltest::TagName(2, round * kPerRound);
            const std::string last = reltest::TagName(1, (round + 1) * kPerRound - 1);
            for (const auto& [name, live] : model.tags)
                if (live && name.substr(1) >= first.substr(1) && name.substr(1) <= last.substr(1))
                    model.savedNames.insert(name);
        }
        // The check runs on what the kill left and names only what a kill can leave.
        for (const StoreFinding& f : CStoreCheck::CheckDirectory(CString(dir.path()))) {
            ++nFindings;
            EXPECT_TRUE(reltest::LeftByInterruptedWrite(f))
                << "round " << round << ": " << f.strFile.str() << " @" << f.nOffset << ": "
                << f.strText.str();
        }

        // A new program opens the store: every tag added and not deleted is listed whole,
        // every one that was live at the last close is found by name, no deleted one is.
        CFileFace face;
        CArray<CMemTag, CMemTag&> all;
        face.GetAllTags(all, 0);
        std::map<std::string, int> listed;
        for (int k = 0; k < all.GetSize(); ++k) {
            EXPECT_EQ(reltest::Mismatch(all[k]), "") << "round " << round;
            ++listed[all[k].strName.str()];
        }
        for (const auto& [name, live] : model.tags) {
            CMemTag tag;
            const int found = face.GetSelute(CString(name), tag);
            if (!live) {
                EXPECT_EQ(found, 0) << name << " was deleted";
                continue;
            }
            EXPECT_EQ(listed[name], 1) << name << " round " << round;
            if (model.savedNames.count(name)) {
                ASSERT_EQ(found, 1) << name << " was saved before round " << round;
                EXPECT_EQ(reltest::Mismatch(tag), "");
            } else if (found == 0) {
                ++nUnnamed;
            }
        }
    }
    EXPECT_EQ(nKills, kRounds - kRounds / kCleanEvery);
    // Records of the killed rounds stayed: far more than the clean rounds added.
    int nLive = 0;
    for (const auto& entry : model.tags)
        nLive += entry.second ? 1 : 0;
    EXPECT_GT(nLive, static_cast<int>(model.savedNames.size()));
    RecordProperty("kills", nKills);
    RecordProperty("findings", nFindings);
    RecordProperty("tags", nLive);
    RecordProperty("unnamed_checks", nUnnamed);
}

}  // namespace
