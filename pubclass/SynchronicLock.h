// CSynchronicLock: a reader/writer lock shared between processes under a name.
//
// The whole shared state is one signed 32-bit counter in a named shared block: the number of
// shared holders plus 10000 for an exclusive holder (or a writer that is trying). Lockers poll
// with short sleeps, so no call blocks for longer than the time-out its caller gives; a time-out
// is reported only by the result 0. The block disappears when the last process lets go of it, so
// the share of a process that died goes with it. One object is used by one thread and takes
// either the shared or the exclusive side, not both.
#pragma once

#include <cstdint>

#include "CString.h"
#include "SharedMemory.h"

class CSynchronicLock {
public:
    static constexpr int kWriterShare = 10000;
    static constexpr int kMaxNameLength = 256;

    CSynchronicLock() = default;
    virtual ~CSynchronicLock();
    CSynchronicLock(const CSynchronicLock&) = delete;
    CSynchronicLock& operator=(const CSynchronicLock&) = delete;

    // Prepares the lock under `strName`; without bCreate it fails when no such lock exists.
    // 1 ready, 0 not.
    int Create(CString strName, int bCreate);
    // Takes the shared side within nTimeout milliseconds: 1 held, 0 not (0 at once for 0 ms).
    int TryReadLock(unsigned nTimeout);
    // Gives up the shared side if held: 1, or 0 when the lock is not ready.
    int ReadUnlock();
    // Takes the exclusive side within nTimeout milliseconds: 1 held, 0 not.
    int TryWriteLock(unsigned nTimeout);
    int WriteUnlock();
    // Gives up what is held and detaches from the shared block.
    void Release();

    bool IsReady() const { return m_bReady != 0; }
    bool IsAttached() const { return m_bAttached != 0; }
    bool HoldsRead() const { return m_bReadHeld != 0; }
    bool HoldsWrite() const { return m_bWriteHeld != 0; }
    const char* GetName() const { return m_szName; }
    // The shared counter as it is now (for diagnostics); -1 when not ready.
    int PeekCounter() const;

private:
    int m_nSize = -1;
    std::int32_t* m_pCounter = nullptr;
    mlplat::CSharedBlock m_block;
    char m_szName[kMaxNameLength + 1] = {};
    int m_bReady = 0;
    int m_bAttached = 0;
    int m_bReadHeld = 0;
    int m_bWriteHeld = 0;
};
