#include "filebplustreenode.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "node slots are stored little-endian and encoded by plain copies");

namespace {

inline void Put32(std::uint8_t* p, std::int32_t v) {
    std::memcpy(p, &v, 4);
}

inline std::int32_t Get32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

FileBPlusTreeNode::FileBPlusTreeNode(int nOrder)
    : m_nOrder(nOrder),
      m_keys(static_cast<std::size_t>(nOrder)),
      m_ptrs(static_cast<std::size_t>(nOrder) + 1, -1) {}

void FileBPlusTreeNode::Encode(std::uint8_t* p) const {
    const int m = m_nOrder;
    const int n = m_nKeyCount;
    std::memset(p, 0, static_cast<std::size_t>(SlotSize(m)));
    Put32(p + 0, m_nNodeNum);
    Put32(p + 4, m);
    Put32(p + 8, n);
    Put32(p + 12, m_bLeaf);
    Put32(p + 16, m_nParent);
    // Entries past the key count are stale; they go out as zeros so that no bytes of other
    // nodes leak into the slot.
    const int nLivePtrs = m_bLeaf ? n : n + 1;
    for (int i = 0; i < m; ++i) {
        std::uint8_t* e = p + kHeadSize + kEntrySize * i;
        if (i < nLivePtrs)
            Put32(e, m_ptrs[static_cast<std::size_t>(i)]);
        if (i < n)
            std::memcpy(e + 4, m_keys[static_cast<std::size_t>(i)].m_szKey, CMyKey::kSize);
    }
    if (m_bLeaf || n == m)
        Put32(p + kHeadSize + kEntrySize * m, m_ptrs[static_cast<std::size_t>(m)]);
}

bool FileBPlusTreeNode::Decode(const std::uint8_t* p) {
    const int m = m_nOrder;
    const std::int32_t nOrder = Get32(p + 4);
    const std::int32_t n = Get32(p + 8);
    const std::int32_t bLeaf = Get32(p + 12);
    if (nOrder != m || n < 0 || n > m || (bLeaf != 0 && bLeaf != 1))
        return false;
    m_nNodeNum = Get32(p + 0);
    m_nKeyCount = n;
    m_bLeaf = bLeaf;
    m_nParent = Get32(p + 16);
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* e = p + kHeadSize + kEntrySize * i;
        m_ptrs[static_cast<std::size_t>(i)] = Get32(e);
        CMyKey& key = m_keys[static_cast<std::size_t>(i)];
        std::memcpy(key.m_szKey, e + 4, CMyKey::kSize);
        key.m_szKey[CMyKey::kSize - 1] = '\0';
    }
    m_ptrs[static_cast<std::size_t>(n)] = Get32(p + kHeadSize + kEntrySize * n);
    if (n < m)
        m_ptrs[static_cast<std::size_t>(m)] = Get32(p + kHeadSize + kEntrySize * m);
    return true;
}

namespace {

// The binary search of a node's n sorted keys: the first position whose key is not below the
// one sought (`compare(i)` is key i against it), and whether it is that key.
template <class Compare>
int FirstNotBelow(int n, Compare compare, bool& bFound) {
    int lo = 0, hi = n;
    bFound = false;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const int c = compare(mid);
        if (c < 0) {
            lo = mid + 1;
        } else if (c > 0) {
            hi = mid;
        } else {
            bFound = true;
            return mid;
        }
    }
    return lo;
}

}  // namespace

FileBPlusTreeNode::SoughtKey::SoughtKey(const CMyKey& k) {
    // strncmp of the first kSize - 1 bytes stops at the first difference or at a zero both
    // share; the sought key is zero past its text, so no byte after that zero counts.
    const std::size_t nCompared =
        std::min(strnlen(k.GetText(), CMyKey::kSize - 1) + 1, CMyKey::kSize - 1);
    m_nWords = static_cast<int>((nCompared + 7) / 8);
    const std::size_t nLast = nCompared - 8 * static_cast<std::size_t>(m_nWords - 1);
    m_lastMask = nLast == 8 ? ~std::uint64_t{0} : ~(~std::uint64_t{0} >> (8 * nLast));
    for (int i = 0; i < m_nWords; ++i)
        m_words[i] = WordAt(k.GetText(), i);
}

std::uint64_t FileBPlusTreeNode::SoughtKey::WordAt(const char* p, int i) const {
    std::uint64_t w;
    std::memcpy(&w, p + 8 * i, sizeof w);
    // Big-endian, so that words order as their bytes do (unsigned, first byte first).
    w = __builtin_bswap64(w);
    return i == m_nWords - 1 ? w & m_lastMask : w;
}

int FileBPlusTreeNode::SoughtKey::CompareAt(const char* p) const {
    for (int i = 0; i < m_nWords; ++i) {
        const std::uint64_t w = WordAt(p, i);
        if (w != m_words[i])
            return w < m_words[i] ? -1 : 1;
    }
    return 0;
}

bool FileBPlusTreeNode::SearchEncoded(const std::uint8_t* p, int m, int nNum, const SoughtKey& k,
                                      EncodedHit& hit) {
    const std::int32_t n = Get32(p + 8);
    const std::int32_t bLeaf = Get32(p + 12);
    if (Get32(p + 0) != nNum || Get32(p + 4) != m || n < 0 || n > m || (bLeaf != 0 && bLeaf != 1))
        return false;
    auto keyAt = [p](int i) {
        return reinterpret_cast<const char*>(p + kHeadSize + kEntrySize * i + 4);
    };
    bool bFound = false;
    const int lo = FirstNotBelow(
        n, [&](int i) { return k.CompareAt(keyAt(i)); }, bFound);
    hit.bLeaf = bLeaf != 0;
    hit.bFound = bFound;
    hit.nPos = lo;
    // Decode reads pointer m apart when the node is not full; pointer lo <= n is in place.
    hit.nPointer = Get32(p + kHeadSize + kEntrySize * lo);
    hit.pKey = lo < n ? keyAt(lo) : nullptr;
    return true;
}

bool FileBPlusTreeNode::SearchKey(const CMyKey& k, int* pPos, int* pPointer) const {
    const int n = m_nKeyCount;
    bool bFound = false;
    const int lo = FirstNotBelow(
        n, [&](int i) { return m_keys[static_cast<std::size_t>(i)].Compare(k); }, bFound);
    if (pPos)
        *pPos = lo;
    if (pPointer)
        *pPointer = m_ptrs[static_cast<std::size_t>(lo)];
    return bFound;
}

int FileBPlusTreeNode::InsertEntry(const CMyKey& k, int nPointer, int* pOutPointer) {
    if (pOutPointer)
        *pOutPointer = -1;
    if (IsFull())
        return 0;
    int pos = 0;
    if (SearchKey(k, &pos, nullptr))
        return 0;
    const int n = m_nKeyCount;
    if (m_bLeaf) {
        for (int i = n; i > pos; --i) {
            m_keys[static_cast<std::size_t>(i)] = m_keys[static_cast<std::size_t>(i - 1)];
            m_ptrs[static_cast<std::size_t>(i)] = m_ptrs[static_cast<std::size_t>(i - 1)];
        }
        m_keys[static_cast<std::size_t>(pos)] = k;
        m_ptrs[static_cast<std::size_t>(pos)] = nPointer;
    } else {
        m_ptrs[static_cast<std::size_t>(n + 1)] = m_ptrs[static_cast<std::size_t>(n)];
        for (int i = n; i > pos; --i) {
            m_ptrs[static_cast<std::size_t>(i + 1)] = m_ptrs[static_cast<std::size_t>(i)];
            m_keys[static_cast<std::size_t>(i)] = m_keys[static_cast<std::size_t>(i - 1)];
        }
        m_keys[static_cast<std::size_t>(pos)] = k;
        m_ptrs[static_cast<std::size_t>(pos + 1)] = nPointer;
    }
    m_nKeyCount = n + 1;
    if (pOutPointer)
        *pOutPointer = nPointer;
    return 1;
}

int FileBPlusTreeNode::SplitInsert(const CMyKey& k, int nPointer, CMyKey* pSeparator,
                                   FileBPlusTreeNode& right) {
    const int m = m_nOrder;
    if (m_nKeyCount != m || right.m_nOrder != m)
        return 0;
    int pos = 0;
    if (SearchKey(k, &pos, nullptr))
        return 0;
    const int h = m / 2;
    auto key = [](FileBPlusTreeNode& nd, int i) -> CMyKey& {
        return nd.m_keys[static_cast<std::size_t>(i)];
    };
    auto ptr = [](FileBPlusTreeNode& nd, int i) -> std::int32_t& {
        return nd.m_ptrs[static_cast<std::size_t>(i)];
    };
    right.m_bLeaf = m_bLeaf;
    if (m_bLeaf) {
        const int from = pos <= h ? h : h + 1;
        for (int i = from; i < m; ++i) {
            key(right, i - from) = key(*this, i);
            ptr(right, i - from) = ptr(*this, i);
        }
        right.m_nKeyCount = m - from;
        m_nKeyCount = from;
        ptr(right, m) = ptr(*this, m);
        ptr(*this, m) = right.m_nNodeNum;
        int ignored;
        int ok = pos <= h ? InsertEntry(k, nPointer, &ignored)
                          : right.InsertEntry(k, nPointer, &ignored);
        if (!ok)
            return 0;
        if (pSeparator)
            *pSeparator = key(*this, m_nKeyCount - 1);
        return 1;
    }
    if (pos == h) {
        for (int i = h; i < m; ++i)
            key(right, i - h) = key(*this, i);
        for (int i = h + 1; i <= m; ++i)
            ptr(right, i - h) = ptr(*this, i);
        ptr(right, 0) = nPointer;
        right.m_nKeyCount = m - h;
        m_nKeyCount = h;
        if (pSeparator)
            *pSeparator = k;
        return 1;
    }
    int ignored;
    if (pos < h) {
        for (int i = h; i < m; ++i)
            key(right, i - h) = key(*this, i);
        for (int i = h + 1; i <= m; ++i)
            ptr(right, i - h) = ptr(*this, i);
        ptr(right, 0) = ptr(*this, h);
        right.m_nKeyCount = m - h;
        CMyKey sep = key(*this, h - 1);
        m_nKeyCount = h - 1;
        if (!InsertEntry(k, nPointer, &ignored))
            return 0;
        if (pSeparator)
            *pSeparator = sep;
        return 1;
    }
    for (int i = h + 1; i < m; ++i)
        key(right, i - h - 1) = key(*this, i);
    for (int i = h + 2; i <= m; ++i)
        ptr(right, i - h - 1) = ptr(*this, i);
    ptr(right, 0) = ptr(*this, h + 1);
    right.m_nKeyCount = m - h - 1;
    CMyKey sep = key(*this, h);
    m_nKeyCount = h;
    if (!right.InsertEntry(k, nPointer, &ignored))
        return 0;
    if (pSeparator)
        *pSeparator = sep;
    return 1;
}

void FileBPlusTreeNode::MakeRoot(int nLeft, const CMyKey& k, int nRight) {
    m_bLeaf = 0;
    m_nKeyCount = 1;
    m_ptrs[0] = nLeft;
    m_keys[0] = k;
    m_ptrs[1] = nRight;
}
