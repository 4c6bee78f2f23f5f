// CSynchronicLock: a reader/writer lock shared between processes under a name.
//
// The whole shared state of the lock is one signed 32-bit counter in a named shared block: the
// number of shared holders plus 10000 for an exclusive holder (or a writer that is trying).
// Lockers poll with short sleeps, so no call blocks for longer than the time-out its caller
// gives; a time-out is reported only by the result 0. One object is used by one thread and
// takes either the shared or the exclusive side, not both.
//
// A holder that dies blocks nobody for longer than one time-out. Beside the counter each name
// has a registry of holder slots; an object claims one for its lifetime with a byte lock the
// system gives back when its process dies, and records there what it has added to the
// counter. A locker that is turned away takes back what the slots of dead owners record. A
// program that changes only the counter still works beside this one: its shares have no slot
// and are never taken back. Without a free slot an object works as such a program does, and
// what it leaves when it dies goes only when every process has let go of the block.
//
// Nothing another program leaves in the blocks is trusted beyond what the protocol can make: a
// slot holding anything but a share this protocol records is cleared, never applied, and a
// counter out of every reachable range (below zero, or more writers than could ever wait)
// marks the lock as damaged: its sides are then refused at once instead of waited for. A block
// that is not this user's alone is refused (IsRefused), as if shared memory were unusable.
//
// An object copied into a child by fork belongs to the child from its next call: it leaves
// what the parent held to the parent and claims a slot of its own.
#pragma once

#include <cstdint>
#include <string>

#include "CString.h"
#include "SharedMemory.h"

class CSynchronicLock {
public:
    static constexpr int kWriterShare = 10000;
    static constexpr int kMaxNameLength = 256;
    static constexpr int kHolderSlots = 128;
    // More writers than this at once (each adds its share while it tries) is damage.
    static constexpr int kMaxWriters = 1000;

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
    // Whether this object has a holder slot, so that a share it leaves by dying is taken back.
    bool HasHolderSlot() const { return m_nSlot >= 0; }
    // A block of the lock (counter or registry) was refused as not this user's alone; its
    // system name in RefusedName(). Kept until the next Create.
    bool IsRefused() const { return !m_strRefused.empty(); }
    const std::string& RefusedName() const { return m_strRefused; }
    // The counter holds what no run of the protocol can leave: the lock cannot be used.
    bool IsDamaged() const;
    // Whether a slot may hold `n`: what one object can have added (a share of either side,
    // or both while it holds one and tries the other).
    static bool IsRecordedShare(std::int32_t n);

private:
    bool AttachBlock(bool bCreate);
    void AttachRegistry();
    void DetachRegistry();
    bool LeaveParentsPart();
    void AdoptAfterFork();
    // Whether the lock can be used now, after adopting a fork's state.
    bool Usable();
    // Adds n to the counter and records it in the slot; returns the counter before.
    std::int32_t Contribute(std::int32_t n);
    void Withdraw(std::int32_t n);
    // Takes back what dead holders' slots record, at most every few dozen milliseconds.
    bool TakeBackWhenDue(std::int64_t& nextTakeBack);
    // Empties a slot whose owner is gone (its byte lock held here), taking back from the
    // counter what it records when that is a share; true when something was taken back.
    bool TakeBackSlot(int nSlot);

    int m_nSize = -1;
    std::int32_t* m_pCounter = nullptr;
    mlplat::CSharedBlock m_block;
    // Attached after the block and detached before it, so that a counter made afresh is never
    // met with records of the holders it no longer counts.
    mlplat::CSharedBlock m_registry{"memlist-holders"};
    std::int32_t* m_pSlots = nullptr;
    int m_nSlot = -1;
    std::int32_t m_nRecorded = 0;  // what this object has added to the counter
    int m_nProcess = 0;            // the process the object's holds and slot belong to
    char m_szName[kMaxNameLength + 1] = {};
    int m_bReady = 0;
    int m_bAttached = 0;
    int m_bReadHeld = 0;
    int m_bWriteHeld = 0;
    std::string m_strRefused;
};
