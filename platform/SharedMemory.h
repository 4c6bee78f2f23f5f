// CSharedBlock: a small named block of shared memory, alive while any process is attached.
//
// Blocks live in a per-user namespace: the POSIX name is "/" + space + "." + uid + "." + name,
// the space being "memlist" unless the object is made for another one. A name too long for
// the system keeps its beginning and ends in a hash of the whole, the same in every program.
// Every attached object holds a shared flock on the block's descriptor; a block that nobody
// holds is treated as new (its bytes are zeroed) and the last object to let go unlinks it. A
// block left behind by a killed process therefore starts afresh once every other process has
// let go. One object is used by one thread; nothing throws.
//
// Only this user's blocks are used: a block of another owner, or one open to group or others
// (anyone could have written it), is refused. Blocks are made 0600 whatever the umask, and
// their pages are reserved when they are opened, so a full shared-memory file system makes an
// open fail instead of faulting at the first touch of a page.
//
// An object copied into a child by fork shares its descriptor with the parent's: the child
// may use the mapping, but its Close only lets go of its own copy, and its byte locks are the
// parent's, so it can neither take nor give back any.
#pragma once

#include <cstddef>
#include <string>

namespace mlplat {

class CSharedBlock {
public:
    enum OpenResult {
        kFailed = 0,    // a system call failed or the name is unusable
        kAbsent = 1,    // no block of that name and creation was not asked for
        kCreated = 2,   // the block is new (or was abandoned): its bytes are zero
        kAttached = 3,  // the block was already in use by another attached object
        kRefused = 4,   // the block is not this user's alone: it is left untouched
    };

    static constexpr const char* kDefaultSpace = "memlist";

    explicit CSharedBlock(const char* space = kDefaultSpace) : m_strSpace(space) {}
    ~CSharedBlock() { Close(); }
    CSharedBlock(const CSharedBlock&) = delete;
    CSharedBlock& operator=(const CSharedBlock&) = delete;

    // Attaches to the block `name` of `size` bytes, creating it when `bCreate` is set. Closes
    // any block held before.
    OpenResult Open(const char* name, std::size_t size, bool bCreate);
    // Detaches; unlinks the block when this was the last attached object.
    void Close();

    void* Data() const { return m_pData; }
    bool IsOpen() const { return m_pData != nullptr; }
    // The block was opened by another process and came here through fork.
    bool IsInherited() const;

    // Locks byte `offset` of the block for this object alone, without waiting: false when
    // another object (of any process, this one included) holds it. The system gives the lock
    // back when the object closes or its process dies, which lets a byte stand for "its
    // owner is alive".
    bool TryLockByte(std::size_t offset);
    void UnlockByte(std::size_t offset);

    // Whether the name still leads to the block held: false once the block has been unlinked
    // under us (by the system, or by a user's clean-up), whether or not a new one took the
    // name. One fstat.
    bool StillNamed() const;
    // The system name of the block held (or last asked for).
    const std::string& HeldName() const { return m_strSysName; }

    // The system name of the block `name` for the calling user.
    static std::string SystemName(const char* name, const char* space = kDefaultSpace);
    // Unlinks at most nMax of this user's blocks that nobody is attached to (left by processes
    // that were killed), in every space whose name starts with kDefaultSpace. Returns how many.
    static int SweepAbandoned(int nMax);

private:
    bool SameObject(int fd) const;

    std::string m_strSpace;
    int m_fd = -1;
    int m_nOpener = 0;  // the process that opened m_fd
    void* m_pData = nullptr;
    std::size_t m_size = 0;
    std::string m_strSysName;
};

}  // namespace mlplat
