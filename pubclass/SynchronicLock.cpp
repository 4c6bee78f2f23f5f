#include "SynchronicLock.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "Trace.h"

namespace {

static_assert(std::atomic_ref<std::int32_t>::is_always_lock_free,
              "the counter is shared between processes and must be lock-free");

std::int64_t TickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(long ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace

CSynchronicLock::~CSynchronicLock() {
    Release();
}

int CSynchronicLock::Create(CString strName, int bCreate) {
    if (strName.IsEmpty() || strName.GetLength() > kMaxNameLength)
        return 0;
    if (m_bReady)
        Release();
    std::memset(m_szName, 0, sizeof m_szName);
    std::memcpy(m_szName, strName.GetString(), static_cast<size_t>(strName.GetLength()));
    m_nSize = -1;
    m_bAttached = 0;
    mlplat::CSharedBlock::OpenResult r = m_block.Open(m_szName, sizeof(std::int32_t), bCreate != 0);
    if (r != mlplat::CSharedBlock::kCreated && r != mlplat::CSharedBlock::kAttached)
        return 0;
    m_bAttached = r == mlplat::CSharedBlock::kAttached;
    m_pCounter = static_cast<std::int32_t*>(m_block.Data());
    m_nSize = sizeof(std::int32_t);
    // A new block is zero already: its maker had it alone when it sized it.
    m_bReady = m_nSize > 0;
    MLTRACE("lock %s prepared (%s)\n", m_szName, m_bAttached ? "attached" : "new");
    return m_bReady;
}

int CSynchronicLock::TryReadLock(unsigned nTimeout) {
    if (!m_bReady || !m_pCounter)
        return 0;
    if (m_bReadHeld)
        return 1;
    std::atomic_ref<std::int32_t> counter(*m_pCounter);
    const std::int64_t start = TickMs();
    std::int64_t elapsed = 0;
    while (elapsed < static_cast<std::int64_t>(nTimeout)) {
        elapsed = TickMs() - start;
        if (counter.fetch_add(1) + 1 < kWriterShare) {
            m_bReadHeld = 1;
            return 1;
        }
        counter.fetch_sub(1);
        SleepMs(15);
    }
    MLTRACE("lock %s: shared side timed out\n", m_szName);
    return 0;
}

int CSynchronicLock::ReadUnlock() {
    if (!m_bReady || !m_pCounter)
        return 0;
    if (m_bReadHeld) {
        std::atomic_ref<std::int32_t>(*m_pCounter).fetch_sub(1);
        m_bReadHeld = 0;
    }
    return 1;
}

int CSynchronicLock::TryWriteLock(unsigned nTimeout) {
    if (!m_bReady || !m_pCounter)
        return 0;
    if (m_bWriteHeld)
        return 1;
    std::atomic_ref<std::int32_t> counter(*m_pCounter);
    const std::int64_t start = TickMs();
    std::int64_t elapsed = 0;
    while (elapsed < static_cast<std::int64_t>(nTimeout)) {
        elapsed = TickMs() - start;
        const std::int32_t nBefore = counter.fetch_add(kWriterShare);
        if (nBefore == 0) {
            m_bWriteHeld = 1;
            return 1;
        }
        if (nBefore >= kWriterShare) {
            // Another writer holds or waits: step aside at once. Two writers that each kept
            // their share while sleeping could turn each other away until both timed out.
            counter.fetch_sub(kWriterShare);
            SleepMs(10);
        } else {
            // Only readers: keep the share during the sleep, so new readers are turned away.
            SleepMs(10);
            counter.fetch_sub(kWriterShare);
        }
    }
    MLTRACE("lock %s: exclusive side timed out\n", m_szName);
    return 0;
}

int CSynchronicLock::WriteUnlock() {
    if (!m_bReady || !m_pCounter)
        return 0;
    if (m_bWriteHeld) {
        m_bWriteHeld = 0;
        std::atomic_ref<std::int32_t>(*m_pCounter).fetch_sub(kWriterShare);
    }
    return 1;
}

void CSynchronicLock::Release() {
    if (!m_bReady)
        return;
    if (m_bReadHeld)
        ReadUnlock();
    if (m_bWriteHeld)
        WriteUnlock();
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
    return std::atomic_ref<std::int32_t>(*m_pCounter).load();
}
