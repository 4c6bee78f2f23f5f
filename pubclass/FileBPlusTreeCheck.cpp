// FileBPlusTree: the structural check of an open tree, through the tree's own node decoding.
#include <functional>
#include <string>

#include "filebplustreenode.h"

namespace {

// Deeper than any sound tree can be; a walk that goes further follows a cycle.
constexpr int kMaxCheckDepth = 64;

CString Text(const std::string& s) {
    return CString(s.c_str());
}

// A leaf met by the walk and the successor its link names.
struct LeafLink {
    int nNum;
    int nNext;
};

struct TreeWalk {
    std::vector<char> seen;  // by node number
    int nSeen = 0;
    std::vector<LeafLink> leaves;
    int nLeafDepth = -1;
    int nKeys = 0;
};

// Ends a check at its first fault when nobody wants the list: the load only asks whether the
// tree is sound, and a damaged file could otherwise cost a fault text per node it claims.
struct FirstFault {};

}  // namespace

bool FileBPlusTree::CheckStructure(std::vector<Fault>& faults, std::vector<LeafEntry>* pEntries) {
    return CheckImpl(&faults, pEntries);
}

bool FileBPlusTree::CheckImpl(std::vector<Fault>* pFaults, std::vector<LeafEntry>* pEntries) {
    try {
        return CheckWalk(pFaults, pEntries);
    } catch (const FirstFault&) {
        return false;
    }
}

bool FileBPlusTree::CheckWalk(std::vector<Fault>* pFaults, std::vector<LeafEntry>* pEntries) {
    std::vector<Fault> none;
    std::vector<Fault>& faults = pFaults ? *pFaults : none;
    const std::size_t nBefore = faults.size();
    auto fault = [&](std::int64_t off, const std::string& s) {
        if (!pFaults)
            throw FirstFault{};
        faults.push_back({off, Text(s)});
    };
    if (pEntries)
        pEntries->clear();
    if (m_nMode == kClosed) {
        fault(0, "tree is not open");
        return false;
    }
    const FileBPlusTreeHeader& h = m_header;
    if (h.nDataOffset != kDataOffset)
        fault(68, "data offset " + std::to_string(h.nDataOffset) + ", not 128");
    if (h.nOrder < 2) {
        fault(52, "order " + std::to_string(h.nOrder) + " is below 2");
        return false;
    }
    if (h.nNodeCount < 0) {
        fault(56, "node count " + std::to_string(h.nNodeCount) + " is negative");
        return false;
    }
    if (h.nNodeCount == 0) {
        if (pFaults && h.nRecordCount != 0)
            fault(72,
                  "record count " + std::to_string(h.nRecordCount) + " in a tree without nodes");
        return faults.size() == nBefore;
    }
    if (h.nRoot < 0 || h.nRoot >= h.nNodeCount) {
        fault(60, "root " + std::to_string(h.nRoot) + " is not a node");
        return false;
    }

    TreeWalk w;
    w.seen.assign(static_cast<std::size_t>(h.nNodeCount), 0);
    const int m = h.nOrder;
    FileBPlusTreeNode node(m);
    // Depth-first, children in key order, so leaves and entries come out in key order.
    std::function<void(int, int, const CMyKey*, const CMyKey*, int)> walk =
        [&](int num, int parent, const CMyKey* lo, const CMyKey* hi, int depth) {
            const std::int64_t off = NodeOffset(num);
            if (num < 0 || num >= h.nNodeCount) {
                fault(parent >= 0 ? NodeOffset(parent) : 60,
                      "pointer to node " + std::to_string(num) + ", which does not exist");
                return;
            }
            if (depth > kMaxCheckDepth || w.seen[static_cast<std::size_t>(num)]) {
                fault(off, "node " + std::to_string(num) + " is reached twice");
                return;
            }
            w.seen[static_cast<std::size_t>(num)] = 1;
            ++w.nSeen;
            if (!ReadNode(num, node)) {
                fault(off, "node " + std::to_string(num) +
                               " cannot be read (number, order, key count or leaf flag)");
                return;
            }
            if (node.m_nParent != parent)
                fault(off + 16, "node " + std::to_string(num) + " names parent " +
                                    std::to_string(node.m_nParent) + " instead of " +
                                    std::to_string(parent));
            const int n = node.m_nKeyCount;
            for (int i = 0; i < n; ++i) {
                const CMyKey& k = node.m_keys[static_cast<std::size_t>(i)];
                const std::int64_t keyOff = off + 24 + 36 * i;
                if (i > 0 && !(node.m_keys[static_cast<std::size_t>(i - 1)] < k))
                    fault(keyOff, "key " + std::to_string(i) + " of node " + std::to_string(num) +
                                      " is not above the one before");
                if ((lo && !(*lo < k)) || (hi && *hi < k))
                    fault(keyOff, "key " + std::to_string(i) + " of node " + std::to_string(num) +
                                      " lies outside its parent's bounds");
            }
            if (node.IsLeaf()) {
                if (w.nLeafDepth >= 0 && depth != w.nLeafDepth)
                    fault(off, "leaf " + std::to_string(num) + " is at depth " +
                                   std::to_string(depth) + ", others at " +
                                   std::to_string(w.nLeafDepth));
                if (w.nLeafDepth < 0)
                    w.nLeafDepth = depth;
                if (n == 0 && num != h.nRoot)
                    fault(off + 8, "leaf " + std::to_string(num) + " holds no key");
                w.leaves.push_back({num, node.m_ptrs[static_cast<std::size_t>(m)]});
                w.nKeys += n;
                if (pEntries) {
                    for (int i = 0; i < n; ++i)
                        pEntries->push_back({node.m_keys[static_cast<std::size_t>(i)],
                                             node.m_ptrs[static_cast<std::size_t>(i)],
                                             off + 20 + 36 * i});
                }
                return;
            }
            if (n < 1) {
                fault(off + 8, "internal node " + std::to_string(num) + " holds no key");
                return;
            }
            // The node buffer is reused below: keep what the children need.
            std::vector<CMyKey> keys(node.m_keys.begin(), node.m_keys.begin() + n);
            std::vector<std::int32_t> kids(node.m_ptrs.begin(), node.m_ptrs.begin() + n + 1);
            for (int i = 0; i <= n; ++i)
                walk(kids[static_cast<std::size_t>(i)], num,
                     i == 0 ? lo : &keys[static_cast<std::size_t>(i - 1)],
                     i == n ? hi : &keys[static_cast<std::size_t>(i)], depth + 1);
        };
    walk(h.nRoot, -1, nullptr, nullptr, 0);

    if (w.nSeen < h.nNodeCount) {
        for (int j = 0; j < h.nNodeCount; ++j) {
            if (!w.seen[static_cast<std::size_t>(j)])
                fault(NodeOffset(j), "node " + std::to_string(j) + " is not reached from the root");
        }
    }
    // The leaf chain must visit the leaves in key order, from node 0, and end after the last.
    if (!w.leaves.empty()) {
        if (w.leaves.front().nNum != 0)
            fault(NodeOffset(w.leaves.front().nNum),
                  "the leftmost leaf is node " + std::to_string(w.leaves.front().nNum) + ", not 0");
        for (std::size_t i = 0; i < w.leaves.size(); ++i) {
            const int num = w.leaves[i].nNum;
            const int next = w.leaves[i].nNext;
            const int want = i + 1 < w.leaves.size() ? w.leaves[i + 1].nNum : -1;
            if (next == want || (want == -1 && next <= 0))
                continue;
            fault(NodeOffset(num) + 20 + 36 * m, "leaf " + std::to_string(num) + " links to " +
                                                     std::to_string(next) + " instead of " +
                                                     std::to_string(want));
        }
    }
    if (pFaults && w.nKeys != h.nRecordCount)
        fault(72, "record count " + std::to_string(h.nRecordCount) + " for " +
                      std::to_string(w.nKeys) + " keys");
    return faults.size() == nBefore;
}
