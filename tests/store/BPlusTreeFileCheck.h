// Reads a saved tree file straight from its bytes (independently of the tree's own code) and
// checks it is a sound B+ tree: strictly increasing keys within their parents' bounds, right
// parent numbers, every leaf at one depth, the leaf chain complete and in order, and node and
// record counts as the header says.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace mltest {

struct TreeFileNode {
    int32_t nNum, nOrder, nCount, bLeaf, nParent;
    std::vector<int32_t> ptrs;  // m + 1
    std::vector<std::string> keys;
};

struct TreeFile {
    int32_t nOrder = 0, nNodeCount = 0, nRoot = 0, nReserved = 0, nDataOffset = 0, nRecordCount = 0;
    std::vector<TreeFileNode> nodes;
};

inline int32_t Le32(const std::vector<uint8_t>& b, size_t off) {
    return static_cast<int32_t>(uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 |
                                uint32_t(b[off + 2]) << 16 | uint32_t(b[off + 3]) << 24);
}

// Parses the file; returns an error text, empty when the bytes have the expected shape.
inline std::string ParseTreeFile(const std::vector<uint8_t>& b, TreeFile& t) {
    if (b.size() < 128)
        return "shorter than 128 bytes";
    if (std::memcmp(b.data(), "FileBPlusTree", 14) != 0)
        return "identification";
    t.nOrder = Le32(b, 52);
    t.nNodeCount = Le32(b, 56);
    t.nRoot = Le32(b, 60);
    t.nReserved = Le32(b, 64);
    t.nDataOffset = Le32(b, 68);
    t.nRecordCount = Le32(b, 72);
    if (t.nDataOffset != 128 || t.nReserved != 0 || t.nOrder < 3)
        return "header fields";
    const size_t m = static_cast<size_t>(t.nOrder), s = 28 + 40 * m;
    if (b.size() != 128 + s * static_cast<size_t>(t.nNodeCount))
        return "file length " + std::to_string(b.size());
    for (int j = 0; j < t.nNodeCount; ++j) {
        size_t o = 128 + s * static_cast<size_t>(j);
        TreeFileNode n;
        n.nNum = Le32(b, o);
        n.nOrder = Le32(b, o + 4);
        n.nCount = Le32(b, o + 8);
        n.bLeaf = Le32(b, o + 12);
        n.nParent = Le32(b, o + 16);
        for (size_t i = 0; i <= m; ++i)
            n.ptrs.push_back(Le32(b, o + 20 + 36 * i));
        for (size_t i = 0; i < m; ++i) {
            const char* k = reinterpret_cast<const char*>(b.data() + o + 24 + 36 * i);
            n.keys.emplace_back(k, strnlen(k, 32));
        }
        t.nodes.push_back(std::move(n));
    }
    return {};
}

class TreeChecker {
public:
    explicit TreeChecker(const TreeFile& t) : m_t(t) {}

    // Empty when sound; `entries` receives every key and value in key order.
    std::string Check(std::map<std::string, int32_t>& entries) {
        entries.clear();
        if (m_t.nNodeCount == 0)
            return m_t.nRecordCount == 0 ? "" : "empty tree with records";
        if (m_t.nRoot < 0 || m_t.nRoot >= m_t.nNodeCount)
            return "root out of range";
        if (m_t.nodes[static_cast<size_t>(m_t.nRoot)].nParent != -1)
            return "root has a parent";
        std::string err = Walk(m_t.nRoot, -1, nullptr, nullptr, 0, entries);
        if (!err.empty())
            return err;
        if (static_cast<int>(m_seen.size()) != m_t.nNodeCount)
            return "unreachable nodes";
        if (m_leaves.empty() || m_leaves.front() != 0)
            return "node 0 is not the leftmost leaf";
        int n = 0;
        for (size_t i = 0; i < m_leaves.size(); ++i) {
            if (n != m_leaves[i])
                return "leaf chain differs at " + std::to_string(i);
            n = m_t.nodes[static_cast<size_t>(n)].ptrs[static_cast<size_t>(m_t.nOrder)];
        }
        if (n != -1)
            return "leaf chain does not end with -1";
        if (static_cast<int>(entries.size()) != m_t.nRecordCount)
            return "record count " + std::to_string(m_t.nRecordCount) + " for " +
                   std::to_string(entries.size()) + " keys";
        return {};
    }

private:
    std::string Walk(int num, int parent, const std::string* lo, const std::string* hi, int depth,
                     std::map<std::string, int32_t>& entries) {
        if (num < 0 || num >= m_t.nNodeCount)
            return "child out of range";
        if (!m_seen.insert(num).second)
            return "node reached twice";
        const TreeFileNode& n = m_t.nodes[static_cast<size_t>(num)];
        if (n.nNum != num || n.nOrder != m_t.nOrder || n.nCount < 0 || n.nCount > m_t.nOrder)
            return "node fields of " + std::to_string(num);
        if (n.nParent != parent)
            return "parent of " + std::to_string(num);
        for (int i = 0; i < n.nCount; ++i) {
            const std::string& k = n.keys[static_cast<size_t>(i)];
            if (i > 0 && !(n.keys[static_cast<size_t>(i - 1)] < k))
                return "keys not increasing in " + std::to_string(num);
            if ((lo && !(*lo < k)) || (hi && *hi < k))
                return "key outside its parent's bounds in " + std::to_string(num);
        }
        if (n.bLeaf == 1) {
            if (m_leafDepth >= 0 && depth != m_leafDepth)
                return "leaves at different depths";
            m_leafDepth = depth;
            if (n.nCount == 0 && m_t.nNodeCount > 1)
                return "empty leaf";
            m_leaves.push_back(num);
            for (int i = 0; i < n.nCount; ++i)
                entries[n.keys[static_cast<size_t>(i)]] = n.ptrs[static_cast<size_t>(i)];
            return {};
        }
        if (n.bLeaf != 0 || n.nCount < 1)
            return "internal node " + std::to_string(num);
        for (int i = 0; i <= n.nCount; ++i) {
            const std::string* clo = i == 0 ? lo : &n.keys[static_cast<size_t>(i - 1)];
            const std::string* chi = i == n.nCount ? hi : &n.keys[static_cast<size_t>(i)];
            std::string err =
                Walk(n.ptrs[static_cast<size_t>(i)], num, clo, chi, depth + 1, entries);
            if (!err.empty())
                return err;
        }
        return {};
    }

    const TreeFile& m_t;
    std::set<int> m_seen;
    std::vector<int> m_leaves;
    int m_leafDepth = -1;
};

}  // namespace mltest
