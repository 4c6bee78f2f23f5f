// Tree files shared between processes under the file's lock.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "TestSupport.h"
#include "filebplustreenode.h"

namespace {

int WaitExit(pid_t pid) {
    int st = 0;
    if (waitpid(pid, &st, 0) != pid)
        return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// A file name of its own per run: the lock is named after it, across all directories.
std::string UniqueFile(const char* stem) {
    return std::string(stem) + "." + std::to_string(getpid()) + ".bpt";
}

TEST(FileBPlusTreeProcess, FileSavedByOneProcessIsLoadedByAnother) {
    mltest::TempDir dir;
    const std::string path = dir / UniqueFile("shared");
    pid_t pid = fork();
    if (pid == 0) {
        FileBPlusTree tree;
        int ok = tree.CreateInMemory(CString(path), 10, 0);
        for (int i = 0; ok && i < 1000; ++i)
            ok = tree.Insert(CMyKey(i), i * 3, 1, nullptr);
        _exit(ok && tree.SaveToFile(CString()) ? 0 : 1);
    }
    ASSERT_EQ(WaitExit(pid), 0);
    FileBPlusTree tree;
    ASSERT_EQ(tree.LoadFromFile(CString(path)), 1);
    EXPECT_EQ(tree.GetRecordCount(), 1000);
    for (int i = 0; i < 1000; i += 37) {
        int value = -1;
        ASSERT_EQ(tree.Find(CMyKey(i), nullptr, &value, nullptr), 1);
        EXPECT_EQ(value, i * 3);
    }
}

// Holds the file's lock in a child process (shared or exclusive) until told to let go.
class LockHolder {
public:
    LockHolder(const std::string& name, bool bWrite) {
        if (pipe(m_go) != 0 || pipe(m_ready) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            CSynchronicLock lock;
            int ok = lock.Create(CString(name), 1) &&
                     (bWrite ? lock.TryWriteLock(1000) : lock.TryReadLock(1000));
            char c = ok ? 'y' : 'n';
            if (write(m_ready[1], &c, 1) != 1 || read(m_go[0], &c, 1) != 1)
                _exit(2);
            lock.Release();
            _exit(0);
        }
        char c = 0;
        m_bHeld = read(m_ready[0], &c, 1) == 1 && c == 'y';
    }
    bool Held() const { return m_bHeld; }
    int LetGo() {
        if (m_pid <= 0)
            return -1;
        [[maybe_unused]] ssize_t n = write(m_go[1], "g", 1);
        int rc = WaitExit(m_pid);
        m_pid = -1;
        return rc;
    }
    ~LockHolder() {
        LetGo();
        for (int fd : {m_go[0], m_go[1], m_ready[0], m_ready[1]})
            close(fd);
    }

private:
    int m_go[2] = {-1, -1}, m_ready[2] = {-1, -1};
    pid_t m_pid = -1;
    bool m_bHeld = false;
};

TEST(FileBPlusTreeProcess, AReaderElsewhereHoldsOffSavingButNotLoading) {
    mltest::TempDir dir;
    const std::string name = UniqueFile("readers");
    FileBPlusTree tree;
    ASSERT_TRUE(tree.CreateInMemory(CString(dir / name), 10, 0));
    ASSERT_TRUE(tree.Insert(CMyKey("A"), 1, 1, nullptr));
    ASSERT_TRUE(tree.SaveToFile(CString()));
    ASSERT_TRUE(tree.Insert(CMyKey("B"), 2, 1, nullptr));
    {
        LockHolder reader(name, false);
        ASSERT_TRUE(reader.Held());
        EXPECT_EQ(tree.SaveToFile(CString()), 0);  // times out
        FileBPlusTree other;
        EXPECT_EQ(other.LoadFromFile(CString(dir / name)), 1);
        EXPECT_EQ(other.Find(CMyKey("B")), 0);  // the failed save changed nothing
        EXPECT_EQ(reader.LetGo(), 0);
    }
    EXPECT_EQ(tree.SaveToFile(CString()), 1);
    FileBPlusTree other;
    ASSERT_EQ(other.LoadFromFile(CString(dir / name)), 1);
    EXPECT_EQ(other.Find(CMyKey("B")), 1);
}

TEST(FileBPlusTreeProcess, AWriterElsewhereHoldsOffLoading) {
    mltest::TempDir dir;
    const std::string name = UniqueFile("writer");
    {
        FileBPlusTree tree;
        ASSERT_TRUE(tree.CreateInMemory(CString(dir / name), 10, 0));
        ASSERT_TRUE(tree.SaveToFile(CString()));
    }
    LockHolder writer(name, true);
    ASSERT_TRUE(writer.Held());
    FileBPlusTree tree;
    EXPECT_EQ(tree.LoadFromFile(CString(dir / name)), 0);
    EXPECT_EQ(tree.GetMode(), FileBPlusTree::kClosed);
    EXPECT_EQ(writer.LetGo(), 0);
    EXPECT_EQ(tree.LoadFromFile(CString(dir / name)), 1);
}

}  // namespace
