#include "MappedView.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Vfs.h"

namespace mlplat {

bool MappedView::Enabled() {
    static const bool bEnabled = [] {
        const char* p = std::getenv("MEMLIST_NO_MMAP");
        return !p || !*p || std::strcmp(p, "0") == 0;
    }();
    return bEnabled;
}

MappedView::~MappedView() {
    Close();
}

void MappedView::Close() {
    std::lock_guard<std::mutex> hold(m_mapMutex);
    const char* p = m_pBase.exchange(nullptr);
    if (p)
        ::munmap(const_cast<char*>(p), kReserve);
    m_nKnown.store(0);
    m_bRefused.store(false);
}

bool MappedView::Map(int fd) {
    std::lock_guard<std::mutex> hold(m_mapMutex);
    if (m_pBase.load(std::memory_order_acquire))
        return true;
    off_t len = 0;
    if (!Enabled() || Vfs().fsize(fd, &len) != 0) {
        m_bRefused.store(true);
        return false;
    }
    void* p = Vfs().map(fd, kReserve);
    if (p == MAP_FAILED || !p) {
        m_bRefused.store(true);
        return false;
    }
    m_nKnown.store(static_cast<std::uint64_t>(len));
    m_pBase.store(static_cast<const char*>(p), std::memory_order_release);
    return true;
}

std::size_t MappedView::Copy(int fd, std::uint64_t offset, void* buf, std::size_t n,
                             bool bRefresh) {
    if (n == 0 || n > kLargestMappedRead || offset >= kReserve ||
        m_bRefused.load(std::memory_order_relaxed))
        return 0;
    const char* pBase = m_pBase.load(std::memory_order_acquire);
    if (!pBase) {
        if (!Map(fd))
            return 0;
        pBase = m_pBase.load(std::memory_order_acquire);
    }
    const std::uint64_t end = std::min<std::uint64_t>(offset + n, kReserve);
    std::uint64_t known = m_nKnown.load(std::memory_order_acquire);
    if (known < end && bRefresh) {
        off_t len = 0;
        if (Vfs().fsize(fd, &len) == 0) {
            known = static_cast<std::uint64_t>(len);
            m_nKnown.store(known, std::memory_order_release);
        }
    }
    if (known <= offset)
        return 0;
    const auto nCopy = static_cast<std::size_t>(std::min(end, known) - offset);
    // A record spans several lines of a page seldom in cache: have them all on their way
    // before the copy waits for the first.
    if (nCopy <= kPrefetchedCopy)
        for (std::size_t line = 0; line < nCopy; line += 64)
            __builtin_prefetch(pBase + offset + line);
    std::memcpy(buf, pBase + offset, nCopy);
    return nCopy;
}

void MappedView::Wrote(std::uint64_t end) {
    std::uint64_t known = m_nKnown.load(std::memory_order_relaxed);
    while (known < end && !m_nKnown.compare_exchange_weak(known, end, std::memory_order_release))
        ;
}

void MappedView::Resized(std::uint64_t n) {
    m_nKnown.store(n, std::memory_order_release);
}

}  // namespace mlplat
