// CSharedBlock: a small named block of shared memory, alive while any process is attached.
//
// Blocks live in a per-user namespace: the POSIX name is "/memlist." + uid + "." + name. Every
// attached object holds a shared flock on the block's descriptor; a block that nobody holds is
// treated as new (its bytes are zeroed) and the last object to let go unlinks it. A block left
// behind by a killed process therefore starts afresh once every other process has let go. One
// object is used by one thread; nothing throws.
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
    };

    CSharedBlock() = default;
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

    // The system name of the block `name` for the calling user.
    static std::string SystemName(const char* name);

private:
    bool SameObject(int fd) const;

    int m_fd = -1;
    void* m_pData = nullptr;
    std::size_t m_size = 0;
    std::string m_strSysName;
};

}  // namespace mlplat
