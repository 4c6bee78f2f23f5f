#include "SynchronicLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "SharedMemory.h"

namespace {

// A lock name of its own per test, so that parallel test runs never meet.
CString UniqueName(const char* what) {
    CString s;
    s.Format("mltest.%s.%ld", what, static_cast<long>(getpid()));
    return s;
}

// Runs `body` in a child process; returns its exit code (or 128 + signal).
template <class F>
pid_t Spawn(F body) {
    pid_t pid = fork();
    if (pid == 0) {
        int rc = 1;
        try {
            rc = body();
        } catch (...) {
        }
        _exit(rc);
    }
    return pid;
}

int Wait(pid_t pid) {
    int st = 0;
    if (waitpid(pid, &st, 0) != pid)
        return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
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

TEST(SynchronicLock, ShareOfAKilledHolderGoesWhenEveryoneHasLetGo) {
    const CString name = UniqueName("killed");
    CSynchronicLock mine;
    ASSERT_TRUE(mine.Create(name, 1));
    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    pid_t pid = Spawn([&] {
        CSynchronicLock other;
        if (!other.Create(name, 1) || !other.TryWriteLock(200))
            return 2;
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
    EXPECT_EQ(mine.PeekCounter(), 10000);
    EXPECT_EQ(mine.TryReadLock(40), 0);
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

TEST(SharedBlock, NamesLiveInAPerUserNamespace) {
    std::string n = mlplat::CSharedBlock::SystemName("TmpBRKTagIndex.bpt");
    EXPECT_EQ(n, "/memlist." + std::to_string(getuid()) + ".TmpBRKTagIndex.bpt");
    mlplat::CSharedBlock b;
    EXPECT_EQ(b.Open("a/b", 4, true), mlplat::CSharedBlock::kFailed);
}

}  // namespace
