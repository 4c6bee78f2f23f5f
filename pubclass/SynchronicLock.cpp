#include "SynchronicLock.h"

#include <atomic>
#include <cstring>

#include "Clock.h"
#include "FileSystem.h"
#include "Trace.h"

namespace {

static_assert(std::atomic_ref<std::int32_t>::is_always_lock_free,
              "the counter is shared between processes and must be lock-free");

// How often a turned-away locker looks for shares of holders that are gone.
constexpr std::int64_t kTakeBackIntervalMs = 50;

std::atomic_ref<std::int32_t> Shared(std::int32_t* p) {
    return std::atomic_ref<std::int32_t>(*p);
}

// The byte whose lock says that the slot's owner is alive: the slot's first.
std::size_t SlotByte(int nSlot) {
    return static_cast<std::size_t>(nSlot) * sizeof(std::int32_t);
}

// Signed, so that deadlines and elapsed times compare without wrapping.
std::int64_t NowMs() {
    return static_cast<std::int64_t>(mlplat::TickMs());
}

// What one attempt to take a side came to.
enum class Attempt { kTaken, kRetry, kGiveUp };

// Tries until an attempt takes the side, gives up, or the time is up; each attempt does its
// own waiting.
template <class AttemptFn>
int TakeSide(int& bHeld, unsigned nTimeout, AttemptFn attempt) {
    if (bHeld)
        return 1;
    const std::int64_t start = NowMs();
    std::int64_t elapsed = 0;
    std::int64_t nextTakeBack = start;
    while (elapsed < static_cast<std::int64_t>(nTimeout)) {
        elapsed = NowMs() - start;
        const Attempt a = attempt(nextTakeBack);
        if (a == Attempt::kTaken) {
            bHeld = 1;
            return 1;
        }
        if (a == Attempt::kGiveUp)
            return 0;
    }
    return 0;
}

}  // namespace

CSynchronicLock::~CSynchronicLock() {
    Release();
}

int CSynchronicLock::Create(CString strName, int bCreate) {
    m_strRefused.clear();
    if (strName.IsEmpty() || strName.GetLength() > kMaxNameLength)
        return 0;
    if (m_bReady)
        Release();
    std::memset(m_szName, 0, sizeof m_szName);
    std::memcpy(m_szName, strName.GetString(), static_cast<size_t>(strName.GetLength()));
    if (!AttachBlock(bCreate != 0))
        return 0;
    AttachRegistry();
    MLTRACE("lock %s prepared (%s)\n", m_szName, m_bAttached ? "attached" : "new");
    return m_bReady;
}

bool CSynchronicLock::Usable() {
    AdoptAfterFork();
    return m_bReady && m_pCounter;
}

bool CSynchronicLock::IsRecordedShare(std::int32_t n) {
    return n == 0 || n == 1 || n == kWriterShare || n == kWriterShare + 1;
}

bool CSynchronicLock::IsDamaged() const {
    if (!m_bReady || !m_pCounter)
        return false;
    const std::int32_t n = Shared(m_pCounter).load();
    return n < 0 || n > kMaxWriters * kWriterShare;
}

int CSynchronicLock::TryReadLock(unsigned nTimeout) {
    if (!Usable() || (!m_bReadHeld && IsDamaged()))
        return 0;
    const int nTaken = TakeSide(m_bReadHeld, nTimeout, [this](std::int64_t& nextTakeBack) {
        const std::int32_t nBefore = Contribute(1);
        if (nBefore >= 0 && nBefore + 1 < kWriterShare)
            return Attempt::kTaken;
        Withdraw(1);
        if (IsDamaged())
            return Attempt::kGiveUp;
        if (!TakeBackWhenDue(nextTakeBack))
            mlplat::SleepMs(15);
        return Attempt::kRetry;
    });
    if (!nTaken)
        MLTRACE("lock %s: shared side timed out\n", m_szName);
    return nTaken;
}

int CSynchronicLock::TryWriteLock(unsigned nTimeout) {
    if (!Usable() || (!m_bWriteHeld && IsDamaged()))
        return 0;
    const int nTaken = TakeSide(m_bWriteHeld, nTimeout, [this](std::int64_t& nextTakeBack) {
        const std::int32_t nBefore = Contribute(kWriterShare);
        if (nBefore == 0)
            return Attempt::kTaken;
        // With only readers in, keep the share during the sleep, so new readers are turned
        // away. Another writer that holds or waits is stepped aside from at once: two writers
        // that each kept their share while sleeping could turn each other away until both
        // timed out.
        const bool bOnlyReaders = nBefore > 0 && nBefore < kWriterShare;
        if (bOnlyReaders)
            mlplat::SleepMs(10);
        Withdraw(kWriterShare);
        if (IsDamaged())
            return Attempt::kGiveUp;
        if (!TakeBackWhenDue(nextTakeBack) && !bOnlyReaders)
            mlplat::SleepMs(10);
        return Attempt::kRetry;
    });
    if (!nTaken)
        MLTRACE("lock %s: exclusive side timed out\n", m_szName);
    return nTaken;
}

int CSynchronicLock::ReadUnlock() {
    if (!Usable())
        return 0;
    if (m_bReadHeld) {
        Withdraw(1);
        m_bReadHeld = 0;
    }
    return 1;
}

int CSynchronicLock::WriteUnlock() {
    if (!Usable())
        return 0;
    if (m_bWriteHeld) {
        m_bWriteHeld = 0;
        Withdraw(kWriterShare);
    }
    return 1;
}

void CSynchronicLock::Release() {
    if (!m_bReady)
        return;
    LeaveParentsPart();
    if (m_bReadHeld)
        ReadUnlock();
    if (m_bWriteHeld)
        WriteUnlock();
    DetachRegistry();
    m_block.Close();
    m_nSize = -1;
    m_pCounter = nullptr;
    m_bAttached = 0;
    m_bReady = 0;
    std::memset(m_szName, 0, sizeof m_szName);
}

int CSynchronicLock::PeekCounter() const {
    if (!m_bReady || !m_pCounter)
        return -1;
    return Shared(m_pCounter).load();
}

bool CSynchronicLock::AttachBlock(bool bCreate) {
    m_nSize = -1;
    m_bAttached = 0;
    const mlplat::CSharedBlock::OpenResult r =
        m_block.Open(m_szName, sizeof(std::int32_t), bCreate);
    if (r == mlplat::CSharedBlock::kRefused)
        m_strRefused = m_block.HeldName();
    if (r != mlplat::CSharedBlock::kCreated && r != mlplat::CSharedBlock::kAttached)
        return false;
    m_bAttached = r == mlplat::CSharedBlock::kAttached;
    m_pCounter = static_cast<std::int32_t*>(m_block.Data());
    m_nSize = sizeof(std::int32_t);
    // A new block is zero already: its maker had it alone when it sized it.
    m_bReady = m_nSize > 0;
    m_nProcess = mlplat::ProcessId();
    return m_bReady != 0;
}

void CSynchronicLock::AttachRegistry() {
    const mlplat::CSharedBlock::OpenResult r =
        m_registry.Open(m_szName, kHolderSlots * sizeof(std::int32_t), true);
    if (r == mlplat::CSharedBlock::kRefused)
        m_strRefused = m_registry.HeldName();
    if (r != mlplat::CSharedBlock::kCreated && r != mlplat::CSharedBlock::kAttached)
        return;  // works without a slot, as a program that knows only the counter
    m_pSlots = static_cast<std::int32_t*>(m_registry.Data());
    for (int i = 0; i < kHolderSlots; ++i) {
        if (!m_registry.TryLockByte(SlotByte(i)))
            continue;
        // A slot that is free but not empty lost its owner with a share still in the counter.
        TakeBackSlot(i);
        m_nSlot = i;
        return;
    }
}

void CSynchronicLock::DetachRegistry() {
    if (m_nSlot >= 0) {
        Shared(&m_pSlots[m_nSlot]).store(0);
        m_registry.UnlockByte(SlotByte(m_nSlot));
        m_nSlot = -1;
    }
    m_nRecorded = 0;
    m_pSlots = nullptr;
    m_registry.Close();
}

bool CSynchronicLock::LeaveParentsPart() {
    if (!m_bReady)
        return false;
    const int nProcess = mlplat::ProcessId();
    if (nProcess == m_nProcess)
        return false;
    // A copy made by fork: what the parent holds and the parent's slot stay the parent's. The
    // descriptors, their flocks and byte locks are shared with the parent too, so the copy
    // lets go of them without touching what they hold.
    m_nProcess = nProcess;
    m_bReadHeld = 0;
    m_bWriteHeld = 0;
    m_nRecorded = 0;
    m_nSlot = -1;
    m_pSlots = nullptr;
    m_registry.Close();
    m_pCounter = nullptr;
    m_block.Close();
    return true;
}

void CSynchronicLock::AdoptAfterFork() {
    if (!LeaveParentsPart())
        return;
    // From here the copy is a participant of its own, attached as Create attaches.
    if (AttachBlock(true)) {
        AttachRegistry();
    } else {
        m_bReady = 0;
        m_nSize = -1;
    }
}

// The counter is raised before the record and lowered after it, so that a holder killed in
// between leaves a share too many (which then stays, as without a slot), never one too few,
// which would let a writer in beside another holder.
std::int32_t CSynchronicLock::Contribute(std::int32_t n) {
    const std::int32_t nBefore = Shared(m_pCounter).fetch_add(n);
    m_nRecorded += n;
    if (m_nSlot >= 0)
        Shared(&m_pSlots[m_nSlot]).store(m_nRecorded);
    return nBefore;
}

void CSynchronicLock::Withdraw(std::int32_t n) {
    m_nRecorded -= n;
    if (m_nSlot >= 0)
        Shared(&m_pSlots[m_nSlot]).store(m_nRecorded);
    Shared(m_pCounter).fetch_sub(n);
}

bool CSynchronicLock::TakeBackWhenDue(std::int64_t& nextTakeBack) {
    const std::int64_t now = NowMs();
    if (now < nextTakeBack || !m_pSlots)
        return false;
    nextTakeBack = now + kTakeBackIntervalMs;
    bool bTook = false;
    for (int i = 0; i < kHolderSlots; ++i) {
        // Our own slot is skipped: our own byte lock would not keep us out of it.
        if (i == m_nSlot || Shared(&m_pSlots[i]).load() == 0)
            continue;
        if (!m_registry.TryLockByte(SlotByte(i)))
            continue;  // its owner lives
        // Read under the byte lock, so that of two lockers taking back at once only one does.
        bTook = TakeBackSlot(i) || bTook;
        m_registry.UnlockByte(SlotByte(i));
    }
    return bTook;
}

bool CSynchronicLock::TakeBackSlot(int nSlot) {
    const std::int32_t nLeft = Shared(&m_pSlots[nSlot]).exchange(0);
    if (nLeft == 0)
        return false;
    if (!IsRecordedShare(nLeft)) {
        MLTRACE("lock %s: cleared slot %d holding %d, which no holder records\n", m_szName, nSlot,
                static_cast<int>(nLeft));
        return false;
    }
    Shared(m_pCounter).fetch_sub(nLeft);
    MLTRACE("lock %s: took back %d left by a holder that is gone\n", m_szName,
            static_cast<int>(nLeft));
    return true;
}
