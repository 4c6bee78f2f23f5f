// Writers killed at random points, in the middle of adds, deletes and renames of both sources
// (renames back to a tag's earlier name among them) and in the open: every name whose add or
// rename returned 1 is found by the next program, no deleted or renamed-away name is, a tag
// renamed at the kill is found under one of its names, every listed tag is found by its name,
// and the check names only what one interrupted write leaves.
//
// A writer kills itself before the file operation its round drew, so a run is fixed by its seed:
// MEMLIST_CRASH_SEED=<the seed printed> replays a failing run.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "FileFace.h"
#include "ProcessSupport.h"
#include "StoreCheck.h"
#include "StoreWorkload.h"
#include "TestSupport.h"
#include "Vfs.h"

namespace {

constexpr int kRounds = 56;
constexpr int kPerRound = 10000;  // names of a round: base .. base + kRenamed + kMaxAdds
constexpr int kRenamed = 5000;    // a rename gives tag i the name of tag i + kRenamed
constexpr int kMaxAdds = 4000;
// A writer writing is killed before one of its first kMaxKillWrite writes; one killed from its
// start before one of its first kMaxKillCall file operations of any kind: most in the open,
// which takes about a hundred.
constexpr long kMaxKillWrite = 3000;
constexpr long kMaxKillCall = 150;

// Where the writer of a round dies: before its nKillAt-th counted operation (writes only, or
// every file operation when bEveryCall).
struct KillPoint {
    bool bEveryCall = false;
    long nKillAt = 0;
    long nSeen = 0;
};
KillPoint g_kill;

template <auto Op, bool bWrite, typename Fn>
struct Counted;
template <auto Op, bool bWrite, typename R, typename... Args>
struct Counted<Op, bWrite, R (*)(Args...)> {
    static R Call(Args... args) {
        if ((bWrite || g_kill.bEveryCall) && ++g_kill.nSeen == g_kill.nKillAt)
            std::raise(SIGKILL);
        return (mlplat::PosixVfs().*Op)(args...);
    }
};
template <auto Op, bool bWrite>
void Count(mlplat::VfsOps& ops) {
    ops.*Op = &Counted<Op, bWrite, std::remove_reference_t<decltype(ops.*Op)>>::Call;
}

// In the writer's process only: every file operation of the store is counted.
void ArmKill(KillPoint kill) {
    using V = mlplat::VfsOps;
    g_kill = kill;
    V& ops = mlplat::Vfs();
    Count<&V::open, false>(ops);
    Count<&V::close, false>(ops);
    Count<&V::pread, false>(ops);
    Count<&V::pwrite, true>(ops);
    Count<&V::ftruncate, true>(ops);
    Count<&V::fsize, false>(ops);
    Count<&V::flock, false>(ops);
    Count<&V::rename, true>(ops);
    Count<&V::unlink, true>(ops);
    Count<&V::fstat, false>(ops);
    Count<&V::nlinks, false>(ops);
    Count<&V::openat, false>(ops);
    Count<&V::renameat, true>(ops);
    Count<&V::unlinkat, true>(ops);
}

// The seed of a run: MEMLIST_CRASH_SEED when set, else a fresh one.
unsigned SeedOfRun() {
    if (const char* s = std::getenv("MEMLIST_CRASH_SEED"))
        return static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    return std::random_device{}();
}

int SourceOf(int k) {
    return k % 2 ? memtag::kSourceZuZir : memtag::kSourceBrakk;
}

// Names whose last step returned 1: true while the tag exists. An add or delete under way at
// the kill leaves its name out: either outcome is allowed. A rename under way leaves the tag
// under exactly one of its two names, returned as (old, new).
using Model = std::map<std::string, bool>;

// Live tags of earlier rounds that their own round neither deleted nor renamed, newest first:
// the saved trees hold their names, so renaming one away and back, cut by a kill, is the
// rename back that the trees cannot tell from a finished one.
std::vector<std::pair<int, int>> TogglePool(const Model& model) {
    std::vector<std::pair<int, int>> pool;
    for (auto it = model.rbegin(); it != model.rend(); ++it) {
        const int i = std::atoi(it->first.c_str() + 1);
        const int k = i % kPerRound;
        if (it->second && k < kMaxAdds && (k % 10 == 0 || k % 10 == 4 || k % 10 == 8))
            pool.emplace_back(it->first[0] == 'B' ? memtag::kSourceBrakk : memtag::kSourceZuZir, i);
    }
    return pool;
}

// Renames tag i of nSource to the name of tag i + kRenamed (bBack: the other way), reporting
// the step under `before` and `after`.
bool Toggle(CFileFace& face, const proctest::ReportFile& report, int nSource, int i, bool bBack,
            char before, char after) {
    const std::string line = std::to_string(nSource) + " " + std::to_string(i);
    report.Send(before + (" " + line));
    const int from = bBack ? i + kRenamed : i;
    const int to = bBack ? i : i + kRenamed;
    enginetest::AnyTag renamed = reltest::Record(nSource, to);
    if (face.ModifyData(reltest::TypeOf(i), nSource, &renamed,
                        CString(reltest::TagName(nSource, from)), CString()) != 1)
        return false;
    report.Send(after + (" " + line));
    return true;
}

// Adds tags, deletes and renames some of its own, renames tags of earlier rounds away and back,
// reporting each step before it starts and after it returned 1, until its kill point; a writer
// that gets through all of it is killed there. Nothing is ever saved by a close.
int RunWriter(int nRound, const proctest::ReportFile& report, const Model& model, KillPoint kill) {
    ArmKill(kill);
    CFileFace face;
    report.Send("O");
    const int nBase = nRound * kPerRound;
    const auto pool = TogglePool(model);
    std::size_t nToggled = 0;
    for (int k = 0; k < kMaxAdds; ++k) {
        const int i = nBase + k;
        enginetest::AnyTag rec = reltest::Record(SourceOf(k), i);
        if (face.AddData(reltest::TypeOf(i), SourceOf(k), &rec, CString()) != 1)
            return 2;
        report.Send("A " + std::to_string(SourceOf(k)) + " " + std::to_string(i));
        if (k % 10 == 9) {
            const int j = i - 6;
            const std::string line = std::to_string(SourceOf(k - 6)) + " " + std::to_string(j);
            report.Send("P " + line);
            if (face.DelData(CString(reltest::TagName(SourceOf(k - 6), j))) != 1)
                return 3;
            report.Send("D " + line);
        } else if (k % 10 == 5) {
            const int j = i - 3;
            const std::string line = std::to_string(SourceOf(k - 3)) + " " + std::to_string(j);
            report.Send("Q " + line);
            enginetest::AnyTag renamed = reltest::Record(SourceOf(k - 3), j + kRenamed);
            if (face.ModifyData(reltest::TypeOf(j), SourceOf(k - 3), &renamed,
                                CString(reltest::TagName(SourceOf(k - 3), j)), CString()) != 1)
                return 4;
            report.Send("R " + line);
        } else if (k % 10 == 7 && nToggled < pool.size()) {
            const auto [nSource, j] = pool[nToggled++];
            if (!Toggle(face, report, nSource, j, false, 'Q', 'R') ||
                !Toggle(face, report, nSource, j, true, 'U', 'V'))
                return 6;
        }
    }
    std::raise(SIGKILL);
    return 5;
}

std::pair<std::string, std::string> ApplyReport(Model& model,
                                                const std::vector<std::string>& lines) {
    std::pair<std::string, std::string> renameUnderWay;
    for (const std::string& line : lines) {
        if (line.size() < 4)
            continue;
        const int nSource = std::atoi(line.c_str() + 2);
        const int i = std::atoi(line.c_str() + 4);
        const std::string name = reltest::TagName(nSource, i);
        const std::string renamed = reltest::TagName(nSource, i + kRenamed);
        switch (line[0]) {
            case 'A':
                model[name] = true;
                break;
            case 'P':
                model.erase(name);
                break;
            case 'D':
                model[name] = false;
                break;
            case 'Q':
            case 'U': {  // U: back from the other name
                model.erase(name);
                model.erase(renamed);
                const bool bBack = line[0] == 'U';
                renameUnderWay = {bBack ? renamed : name, bBack ? name : renamed};
                break;
            }
            case 'R':
            case 'V': {
                const bool bBack = line[0] == 'V';
                model[bBack ? renamed : name] = false;
                model[bBack ? name : renamed] = true;
                renameUnderWay = {};
                break;
            }
        }
    }
    return renameUnderWay;
}

// A tree file older than the index is no damage: the next program brings it up to date. The
// check runs after such a program closed, so the trees must agree then.
bool AboutATree(const StoreFinding& f) {
    const std::string t = f.strText.str();
    return f.strFile.str().find(".bpt") != std::string::npos || t.find(".bpt") != std::string::npos;
}

TEST(CrashSafety, WritersKilledAtRandomMomentsLoseNoName) {
    mltest::TempDir dir, reports;
    mltest::ScopedEnv env("QLX_PATH_D_TEMP", dir.path().c_str());
    mltest::ScopedEnv noAreas("QLX_PATH_D_AREAINFO", nullptr);
    { CFileFace setup; }

    const unsigned seed = SeedOfRun();
    std::printf("seed %u (MEMLIST_CRASH_SEED=%u replays this run)\n", seed, seed);
    std::fflush(stdout);
    SCOPED_TRACE("MEMLIST_CRASH_SEED=" + std::to_string(seed));
    std::mt19937 rng(seed);
    Model model;
    int nKills = 0, nInOpen = 0, nFindings = 0, nBack = 0, nBackCut = 0;
    for (int round = 0; round < kRounds; ++round) {
        const proctest::ReportFile report(reports / ("round" + std::to_string(round)));
        // Every fourth writer is killed from its start (often in the open, while it loads and
        // brings the trees up to date); the others while they write.
        KillPoint kill;
        kill.bEveryCall = round % 4 == 0;
        kill.nKillAt = std::uniform_int_distribution<long>(
            1, kill.bEveryCall ? kMaxKillCall : kMaxKillWrite)(rng);
        SCOPED_TRACE("round " + std::to_string(round) + ": killed before " +
                     (kill.bEveryCall ? "file operation " : "write ") +
                     std::to_string(kill.nKillAt));
        const pid_t pid = proctest::Spawn([&] { return RunWriter(round, report, model, kill); });
        ASSERT_EQ(proctest::WaitBounded(pid, 300000), 128 + SIGKILL) << "round " << round;
        ++nKills;
        const auto lines = report.Lines();
        nInOpen += lines.empty() ? 1 : 0;
        for (const std::string& line : lines)
            nBack += line[0] == 'V' ? 1 : 0;
        nBackCut += !lines.empty() && lines.back()[0] == 'U' ? 1 : 0;
        const auto [strOld, strNew] = ApplyReport(model, lines);

        {
            // A new program: every name the model holds live is found with its own fields, in
            // the tree of its source; no deleted or renamed-away name is found anywhere.
            CFileFace face;
            for (const auto& [name, live] : model) {
                CMemTag tag;
                const int found = face.GetSelute(CString(name), tag);
                const bool bBrakk = name[0] == 'B';
                const int nInTree = bBrakk ? face.JustTagFromBRK(CString(name))
                                           : face.JustTagFromRMP(CString(name));
                if (live) {
                    ASSERT_EQ(found, 1) << name << " was added or renamed to, round " << round;
                    EXPECT_NE(nInTree, 0) << name;
                    EXPECT_EQ(reltest::Mismatch(tag), "") << "round " << round;
                } else {
                    ASSERT_EQ(found, 0) << name << " was deleted or renamed away, round " << round;
                    EXPECT_EQ(face.JustTagFromBRK(CString(name)), 0) << name;
                    EXPECT_EQ(face.JustTagFromRMP(CString(name)), 0) << name;
                }
            }
            if (!strOld.empty()) {
                CMemTag old, renamed;
                const bool bOld = face.GetSelute(CString(strOld), old) == 1;
                const bool bNew = face.GetSelute(CString(strNew), renamed) == 1;
                ASSERT_NE(bOld, bNew) << strOld << " renamed to " << strNew << " at the kill";
                EXPECT_EQ(reltest::Mismatch(bOld ? old : renamed), "") << strOld;
                model[strOld] = bOld;
                model[strNew] = bNew;
            }
            // Every tag the list shows is found by its name, the one an add under way at the
            // kill left included.
            CArray<CMemTag, CMemTag&> all;
            face.GetAllTags(all, 0);
            for (int k = 0; k < all.GetSize(); ++k) {
                const std::string name = all[k].strName.str();
                const auto it = model.find(name);
                if (it != model.end() && it->second)
                    continue;
                CMemTag tag;
                ASSERT_EQ(face.GetSelute(all[k].strName, tag), 1)
                    << name << " listed, round " << round;
                model[name] = true;
            }
        }
        // That program saved the trees it brought up to date: what is left is what a kill in
        // the middle of one write leaves.
        for (const StoreFinding& f : CStoreCheck::CheckDirectory(CString(dir.path()))) {
            ++nFindings;
            EXPECT_TRUE(reltest::LeftByInterruptedWrite(f) && !AboutATree(f))
                << "round " << round << ": " << f.strFile.str() << " @" << f.nOffset << ": "
                << f.strText.str();
        }
    }
    EXPECT_EQ(nKills, kRounds);
    int nFound = 0, nGone = 0;
    for (const auto& entry : model)
        (entry.second ? nFound : nGone) += 1;
    RecordProperty("kills", nKills);
    RecordProperty("kills_before_open_done", nInOpen);
    RecordProperty("names_found", nFound);
    RecordProperty("names_gone", nGone);
    RecordProperty("findings", nFindings);
    RecordProperty("renames_back", nBack);
    RecordProperty("renames_back_cut", nBackCut);
    std::printf(
        "%d kills (%d before the open was done): %d live names found, %d deleted or "
        "renamed-away names absent at every reopen; %d findings of interrupted writes; %d "
        "renames back to an earlier name, %d of them cut by the kill\n",
        nKills, nInOpen, nFound, nGone, nFindings, nBack + nBackCut, nBackCut);
}

}  // namespace
