// CSourceWriteLock: one data source's write lock between programs, an exclusive flock on the
// source's index file held for the moment of one add, change or delete. Holds nest; only the
// outermost takes and lets go of the flock. It never opens, closes or looks for a file: the
// engine passes the index file in, and checks for a removed directory before a write starts.
#pragma once

#include <cerrno>

#include "File.h"

class CSourceWriteLock {
public:
    // Enters a hold; the outermost takes the flock on `pIndex`, waiting up to `nWaitMs`. A
    // reader never writes, so with bReadOnly the lock is never taken. Whether it is held.
    bool Enter(CFile* pIndex, unsigned nWaitMs, bool bReadOnly) {
        if (m_nDepth++ > 0)
            return m_bLocked;
        m_bLocked = false;
        m_bWaited = false;
        if (!bReadOnly && pIndex) {
            m_bLocked = pIndex->LockExclusive(0);
            if (!m_bLocked) {
                m_bWaited = true;
                m_bLocked = pIndex->LockExclusive(nWaitMs);
            }
        }
        m_bTimedOut = !m_bLocked && !bReadOnly && pIndex && errno == EWOULDBLOCK;
        m_bIndexWritten = false;
        m_bInSync = false;
        return m_bLocked;
    }
    // Enters a hold that is not had, with every hold nested in it: the write that began it
    // must not happen.
    void EnterRefused() { ++m_nDepth; }
    // Leaves a hold. The outermost first calls `beforeUnlock()` when the index was written under
    // it (while no other program can write), then lets go of the flock on `pIndex`.
    template <class Fn>
    void Leave(CFile* pIndex, Fn&& beforeUnlock) {
        if (m_nDepth == 0 || --m_nDepth > 0)
            return;
        if (m_bLocked && pIndex) {
            if (m_bIndexWritten)
                beforeUnlock();
            pIndex->Unlock();
        }
        Forget();
    }
    // The files were closed under the hold: what is left of it holds nothing.
    void Forget() {
        m_bLocked = false;
        m_bIndexWritten = false;
        m_bInSync = false;
    }
    // Marks the index written under this hold. True the first time in a hold.
    bool MarkIndexWritten() {
        if (m_bIndexWritten)
            return false;
        m_bIndexWritten = true;
        return true;
    }
    // Whether the name image agreed with the index when this hold first wrote it (or was
    // brought into agreement under it), so that the hold's own writes keep the agreement.
    void SetInSync(bool bInSync) { m_bInSync = bInSync; }
    bool InSync() const { return m_bInSync; }

    bool Held() const { return m_bLocked; }
    int Depth() const { return m_nDepth; }
    // The last outermost hold was not had in time: another program kept the lock.
    bool TimedOut() const { return m_bTimedOut; }
    // The last outermost hold was not had at the first try: another program held the lock.
    bool Waited() const { return m_bWaited; }

private:
    int m_nDepth = 0;
    bool m_bLocked = false;
    bool m_bIndexWritten = false;
    bool m_bInSync = false;
    bool m_bTimedOut = false;
    bool m_bWaited = false;
};
