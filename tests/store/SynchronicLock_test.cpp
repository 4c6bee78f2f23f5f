#include "SynchronicLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ProcessSupport.h"
#include "SharedMemory.h"

namespace {

// A lock name of its own per test, so that parallel test runs never meet.
CString UniqueName(const char* what) {
    CString s;
    s.Format("mltest.%s.%ld", what, static_cast<long>(getpid()));
    return s;
}

using proctest::Spawn;

int Wait(pid_t pid) {
    return proctest::WaitBounded(pid, 10000);
}

// Waits (bounded) until the counter shows `want`.
bool AwaitCounter(const CSynchronicLock& lock, int want) {
    for (int i = 0; i < 2000; ++i) {
        if (lock.PeekCounter() == want)
            return true;
        usleep(1000);
    }
    return false;
}

// `lock` gets the write (or read) lock within 500 ms, its share then alone in the counter.
void ExpectTakenAlone(CSynchronicLock& lock, bool bWrite) {
    if (bWrite) {
        ASSERT_EQ(lock.TryWriteLock(500), 1);
        EXPECT_EQ(lock.PeekCounter(), CSynchronicLock::kWriterShare);
        lock.WriteUnlock();
    } else {
        ASSERT_EQ(lock.TryReadLock(500), 1);
        EXPECT_EQ(lock.PeekCounter(), 1);
        lock.ReadUnlock();
    }
}

TEST(SynchronicLock, CreateChecksTheNameAndWhetherTheBlockExists) {
    CSynchronicLock a;
    EXPECT_EQ(a.Create(CString(), 1), 0);
    EXPECT_EQ(a.Create(CString(std::string(257, 'n')), 1), 0);
    EXPECT_EQ(a.TryReadLock(100), 0);  // not ready
    EXPECT_EQ(a.ReadUnlock(), 0);
    const CString name = UniqueName("create");
    EXPECT_EQ(a.Create(name, 0), 0);  // absent, not to be made
    ASSERT_EQ(a.Create(name, 1), 1);
    EXPECT_FALSE(a.IsAttached());
    EXPECT_EQ(a.PeekCounter(), 0);
    CSynchronicLock b;
    ASSERT_EQ(b.Create(name, 0), 1);
    EXPECT_TRUE(b.IsAttached());
    a.Release();
    EXPECT_EQ(a.GetName()[0], '\0');
    EXPECT_FALSE(a.IsReady());
    b.Release();
    EXPECT_EQ(b.Create(name, 0), 0);  // gone with its last holder
}

TEST(SynchronicLock, ReadersShareAndKeepAWriterOut) {
    const CString name = UniqueName("readers");
    CSynchronicLock r1, r2, w;
    ASSERT_TRUE(r1.Create(name, 1) && r2.Create(name, 1) && w.Create(name, 1));
    ASSERT_EQ(r1.TryReadLock(100), 1);
    ASSERT_EQ(r2.TryReadLock(100), 1);
    EXPECT_EQ(r1.TryReadLock(100), 1);  // held already: no second share
    EXPECT_EQ(w.PeekCounter(), 2);
    EXPECT_EQ(w.TryWriteLock(60), 0);
    EXPECT_EQ(w.PeekCounter(), 2);  // the failed writer took its share back
    r1.ReadUnlock();
    r1.ReadUnlock();  // not held any more: no change
    EXPECT_EQ(w.PeekCounter(), 1);
    r2.ReadUnlock();
    ASSERT_EQ(w.TryWriteLock(60), 1);
    EXPECT_EQ(w.PeekCounter(), 10000);
    EXPECT_EQ(r1.TryReadLock(40), 0);
    EXPECT_EQ(r1.TryReadLock(0), 0);
    w.Release();  // gives up what it holds
    EXPECT_EQ(r1.PeekCounter(), 0);
    EXPECT_EQ(r1.TryReadLock(0), 0);  // a zero time-out never tries
    EXPECT_EQ(r1.TryReadLock(40), 1);
}

TEST(SynchronicLock, AWaitingWriterTurnsNewReadersAway) {
    const CString name = UniqueName("waiting");
    CSynchronicLock reader, writer, late;
    ASSERT_TRUE(reader.Create(name, 1) && writer.Create(name, 1) && late.Create(name, 1));
    ASSERT_EQ(reader.TryReadLock(100), 1);
    int got = -1;
    std::thread t([&] { got = writer.TryWriteLock(3000); });
    ASSERT_TRUE(AwaitCounter(late, 10001));  // the writer's share is in
    EXPECT_EQ(late.TryReadLock(30), 0);
    reader.ReadUnlock();
    t.join();
    EXPECT_EQ(got, 1);
    EXPECT_EQ(late.PeekCounter(), 10000);
    writer.WriteUnlock();
    EXPECT_EQ(late.PeekCounter(), 0);
}

TEST(SynchronicLock, AWriterFindingAnotherWriterStepsAsideWhileItWaits) {
    const CString name = UniqueName("writers");
    CSynchronicLock holder, waiter, watch;
    ASSERT_TRUE(holder.Create(name, 1) && waiter.Create(name, 1) && watch.Create(name, 1));
    ASSERT_EQ(holder.TryWriteLock(100), 1);
    int got = -1;
    std::thread t([&] { got = waiter.TryWriteLock(200); });
    // Were the waiter to keep its share through each 10 ms sleep, the counter would read 20000
    // nearly all the time; stepping aside leaves it there only between an add and a subtract.
    int samples = 0, doubled = 0;
    for (; samples < 150; ++samples) {
        doubled += watch.PeekCounter() >= 2 * CSynchronicLock::kWriterShare;
        usleep(1000);
    }
    t.join();
    EXPECT_EQ(got, 0);
    EXPECT_LT(doubled, samples / 2);
    holder.WriteUnlock();
    EXPECT_EQ(watch.PeekCounter(), 0);
    // With the holder gone the waiter gets in at once.
    EXPECT_EQ(waiter.TryWriteLock(100), 1);
    waiter.WriteUnlock();
}

TEST(SynchronicLock, ProcessesShareOneCounter) {
    const CString name = UniqueName("procs");
    CSynchronicLock mine;
    ASSERT_TRUE(mine.Create(name, 1));
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    pid_t pid = Spawn([&] {
        CSynchronicLock other;
        if (!other.Create(name, 0) || !other.TryReadLock(200))
            return 2;
        char c = 'r';
        if (write(toParent[1], &c, 1) != 1 || read(toChild[0], &c, 1) != 1)
            return 3;
        other.ReadUnlock();
        return 0;
    });
    char c;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    EXPECT_EQ(mine.PeekCounter(), 1);
    EXPECT_EQ(mine.TryWriteLock(60), 0);  // the other process reads
    ASSERT_EQ(write(toChild[1], "g", 1), 1);
    EXPECT_EQ(Wait(pid), 0);
    EXPECT_EQ(mine.TryWriteLock(200), 1);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
}

TEST(SynchronicLock, AShareNobodyCanTakeBackGoesWhenEveryoneHasLetGo) {
    const CString name = UniqueName("killed");
    CSynchronicLock mine;
    ASSERT_TRUE(mine.Create(name, 1));
    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    // A program that knows only the counter takes the exclusive side and is killed.
    pid_t pid = Spawn([&] {
        mlplat::CSharedBlock bare;
        if (bare.Open(name.GetString(), sizeof(std::int32_t), false) !=
            mlplat::CSharedBlock::kAttached)
            return 2;
        std::atomic_ref<std::int32_t>(*static_cast<std::int32_t*>(bare.Data()))
            .fetch_add(CSynchronicLock::kWriterShare);
        char c = 'w';
        if (write(toParent[1], &c, 1) != 1)
            return 3;
        for (;;)
            pause();
    });
    char c;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), 128 + SIGKILL);
    // Its share stays while this process keeps the block ...
    EXPECT_EQ(mine.TryReadLock(100), 0);
    EXPECT_EQ(mine.PeekCounter(), CSynchronicLock::kWriterShare);
    // ... and is gone once nobody holds it any more.
    mine.Release();
    CSynchronicLock fresh;
    ASSERT_TRUE(fresh.Create(name, 1));
    EXPECT_FALSE(fresh.IsAttached());
    EXPECT_EQ(fresh.PeekCounter(), 0);
    EXPECT_EQ(fresh.TryReadLock(40), 1);
    close(toParent[0]);
    close(toParent[1]);
}

// A child process that prepares the lock itself, takes one side, says so and waits to be killed.
class Holder {
public:
    enum Side { kRead, kWrite };
    Holder(const CString& name, Side side) {
        if (pipe(m_ready) != 0)
            return;
        m_pid = Spawn([&] {
            CSynchronicLock lock;
            if (!lock.Create(name, 1) || !lock.HasHolderSlot())
                return 2;
            if (!(side == kRead ? lock.TryReadLock(1000) : lock.TryWriteLock(1000)))
                return 3;
            char c = 'h';
            if (write(m_ready[1], &c, 1) != 1)
                return 4;
            for (;;)
                pause();
        });
        char c = 0;
        m_bHolds = m_pid > 0 && read(m_ready[0], &c, 1) == 1;
    }
    ~Holder() {
        Kill();
        close(m_ready[0]);
        close(m_ready[1]);
    }
    bool Holds() const { return m_bHolds; }
    int Kill() {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, SIGKILL);
        const int rc = Wait(m_pid);
        m_pid = -1;
        return rc;
    }

private:
    int m_ready[2] = {-1, -1};
    pid_t m_pid = -1;
    bool m_bHolds = false;
};

TEST(SynchronicLock, AKilledHolderBlocksOthersForOneTimeOutAtMost) {
    for (Holder::Side side : {Holder::kRead, Holder::kWrite}) {
        SCOPED_TRACE(side == Holder::kRead ? "reader killed" : "writer killed");
        const CString name = UniqueName(side == Holder::kRead ? "deadreader" : "deadwriter");
        CSynchronicLock keeper;  // keeps the block alive, so the share is not dropped with it
        ASSERT_TRUE(keeper.Create(name, 1));
        const int share = side == Holder::kRead ? 1 : CSynchronicLock::kWriterShare;
        // Prepared before the death, as a tree's lock is: it finds the dead share while waiting.
        CSynchronicLock next;
        ASSERT_TRUE(next.Create(name, 1));
        {
            Holder child(name, side);
            ASSERT_TRUE(child.Holds());
            EXPECT_EQ(child.Kill(), 128 + SIGKILL);
        }
        EXPECT_EQ(keeper.PeekCounter(), share);
        // The opposite side, so the dead holder's share alone stands in its way.
        ASSERT_NO_FATAL_FAILURE(ExpectTakenAlone(next, side == Holder::kRead));
        EXPECT_EQ(keeper.PeekCounter(), 0);
    }
}

TEST(SynchronicLock, AWriterKilledWhileItWaitsLeavesNoShare) {
    const CString name = UniqueName("deadtrier");
    CSynchronicLock reader;
    ASSERT_TRUE(reader.Create(name, 1));
    ASSERT_EQ(reader.TryReadLock(100), 1);
    const pid_t pid = Spawn([&] {
        CSynchronicLock writer;
        return writer.Create(name, 1) && writer.TryWriteLock(20000) ? 0 : 2;
    });
    // Its share is in the counter for its 10 ms sleeps; kill it in one of them.
    ASSERT_TRUE(AwaitCounter(reader, CSynchronicLock::kWriterShare + 1));
    usleep(2000);
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), 128 + SIGKILL);
    reader.ReadUnlock();
    // Prepared after the death: it may find the dead writer's slot free when it claims one.
    CSynchronicLock next;
    ASSERT_TRUE(next.Create(name, 1));
    ASSERT_NO_FATAL_FAILURE(ExpectTakenAlone(next, true));
    EXPECT_EQ(reader.PeekCounter(), 0);
}

TEST(SynchronicLock, SharesWithoutASlotAreNeverTakenBack) {
    const CString name = UniqueName("counteronly");
    CSynchronicLock watch;
    ASSERT_TRUE(watch.Create(name, 1));
    // A program that knows only the counter: it maps the block and adds its share.
    mlplat::CSharedBlock bare;
    ASSERT_EQ(bare.Open(name.GetString(), sizeof(std::int32_t), false),
              mlplat::CSharedBlock::kAttached);
    std::atomic_ref<std::int32_t> counter(*static_cast<std::int32_t*>(bare.Data()));
    counter.fetch_add(1);
    {
        Holder child(name, Holder::kRead);
        ASSERT_TRUE(child.Holds());
        child.Kill();
    }
    EXPECT_EQ(watch.PeekCounter(), 2);
    EXPECT_EQ(watch.TryWriteLock(200), 0);
    EXPECT_EQ(watch.PeekCounter(), 1);  // the dead holder's share went, the other one stays
    // Nor is the share of an object that found every slot taken.
    std::vector<std::unique_ptr<CSynchronicLock>> many;
    for (int i = 0; i < CSynchronicLock::kHolderSlots; ++i) {
        many.push_back(std::make_unique<CSynchronicLock>());
        ASSERT_TRUE(many.back()->Create(name, 1));
    }
    EXPECT_FALSE(many.back()->HasHolderSlot());
    ASSERT_EQ(many.back()->TryReadLock(100), 1);
    EXPECT_EQ(watch.TryWriteLock(100), 0);
    EXPECT_EQ(watch.PeekCounter(), 2);
    many.back()->ReadUnlock();
    counter.fetch_sub(1);
    EXPECT_EQ(watch.TryWriteLock(100), 1);
}

TEST(SynchronicLock, AForkedCopyLeavesTheParentsShareAndSlotAlone) {
    const CString name = UniqueName("forked");
    CSynchronicLock mine, other;
    ASSERT_TRUE(mine.Create(name, 1) && other.Create(name, 1));
    ASSERT_TRUE(mine.HasHolderSlot());
    ASSERT_EQ(mine.TryReadLock(100), 1);
    // The child lets go of its copy: the parent's share and slot must stay.
    pid_t pid = Spawn([&] {
        mine.Release();
        return 0;
    });
    EXPECT_EQ(Wait(pid), 0);
    EXPECT_EQ(other.TryWriteLock(100), 0);
    EXPECT_EQ(other.PeekCounter(), 1);
    // The child reads with its copy and dies: its share goes, the parent's stays.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid = Spawn([&] {
        if (!mine.TryReadLock(100) || !mine.HasHolderSlot() || write(ready[1], "r", 1) != 1)
            return 2;
        for (;;)
            pause();
    });
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), 128 + SIGKILL);
    EXPECT_EQ(other.PeekCounter(), 2);
    EXPECT_EQ(other.TryWriteLock(100), 0);
    EXPECT_EQ(other.PeekCounter(), 1);
    mine.ReadUnlock();
    EXPECT_EQ(other.TryWriteLock(100), 1);
    close(ready[0]);
    close(ready[1]);
}

TEST(SynchronicLock, LongNamesAreOneLockEachAndNoMore) {
    CString prefix = UniqueName("long");
    const std::string base =
        std::string(prefix.GetString()) +
        std::string(CSynchronicLock::kMaxNameLength - 1 - prefix.GetLength(), 'x');
    const CString nameA((base + "a").c_str()), nameB((base + "b").c_str());
    ASSERT_EQ(nameA.GetLength(), CSynchronicLock::kMaxNameLength);
    CSynchronicLock a1, a2, b;
    ASSERT_EQ(a1.Create(nameA, 1), 1);
    ASSERT_EQ(a2.Create(nameA, 0), 1);
    ASSERT_EQ(b.Create(nameB, 1), 1);
    EXPECT_TRUE(a2.IsAttached());
    EXPECT_FALSE(b.IsAttached());
    ASSERT_EQ(a1.TryWriteLock(100), 1);
    EXPECT_EQ(a2.TryReadLock(30), 0);
    EXPECT_EQ(b.TryReadLock(30), 1);
    EXPECT_TRUE(a1.HasHolderSlot() && a2.HasHolderSlot() && b.HasHolderSlot());
}

TEST(SharedBlock, NamesLiveInAPerUserNamespace) {
    std::string n = mlplat::CSharedBlock::SystemName("TmpBRKTagIndex.bpt");
    EXPECT_EQ(n, "/memlist." + std::to_string(getuid()) + ".TmpBRKTagIndex.bpt");
    mlplat::CSharedBlock b;
    EXPECT_EQ(b.Open("a/b", 4, true), mlplat::CSharedBlock::kFailed);
}

}  // namespace
