// FileBPlusTree: the structural check of an open tree, through the tree's own node decoding.
#include <memory>
#include <string>

#include "filebplustreenode.h"

namespace {

// Deeper than any sound tree can be; a walk that goes further follows a cycle.
constexpr int kMaxCheckDepth = 64;

CString Text(const std::string& s) {
    return CString(s.c_str());
}

// Ends a check at its first fault when nobody wants the list: the load only asks whether the
// tree is sound, and a damaged file could otherwise cost a fault text per node it claims.
struct FirstFault {};

}  // namespace

// What one check has found so far, and the node buffer its walk reads into.
struct FileBPlusTree::CheckState {
    // A leaf met by the walk and the successor its link names.
    struct LeafLink {
        int nNum;
        int nNext;
    };

    CheckState(std::vector<Fault>* p, std::vector<LeafEntry>* pE)
        : pFaults(p), nBefore(p ? p->size() : 0), pEntries(pE) {}
    void Add(std::int64_t off, const std::string& s) {
        if (!pFaults)
            throw FirstFault{};
        pFaults->push_back({off, Text(s)});
    }
    // Nothing found (without a list, the first fault ended the check already).
    bool None() const { return !pFaults || pFaults->size() == nBefore; }

    std::vector<Fault>* pFaults;
    std::size_t nBefore;
    std::vector<LeafEntry>* pEntries;
    std::unique_ptr<FileBPlusTreeNode> pNode;
    std::vector<char> seen;  // by node number
    int nSeen = 0;
    std::vector<LeafLink> leaves;
    int nLeafDepth = -1;
    int nKeys = 0;
};

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
    CheckState c(pFaults, pEntries);
    if (pEntries)
        pEntries->clear();
    if (!CheckHeaderFields(c))
        return c.None();
    const FileBPlusTreeHeader& h = m_header;
    c.seen.assign(static_cast<std::size_t>(h.nNodeCount), 0);
    c.pNode = std::make_unique<FileBPlusTreeNode>(h.nOrder);
    CheckNode(c, h.nRoot, -1, nullptr, nullptr, 0);
    if (c.nSeen < h.nNodeCount) {
        for (int j = 0; j < h.nNodeCount; ++j) {
            if (!c.seen[static_cast<std::size_t>(j)])
                c.Add(NodeOffset(j), "node " + std::to_string(j) + " is not reached from the root");
        }
    }
    CheckLeafChain(c);
    if (pFaults && c.nKeys != h.nRecordCount)
        c.Add(72, "record count " + std::to_string(h.nRecordCount) + " for " +
                      std::to_string(c.nKeys) + " keys");
    return c.None();
}

bool FileBPlusTree::CheckHeaderFields(CheckState& c) {
    if (m_nMode == kClosed) {
        c.Add(0, "tree is not open");
        return false;
    }
    const FileBPlusTreeHeader& h = m_header;
    if (h.nDataOffset != kDataOffset)
        c.Add(68, "data offset " + std::to_string(h.nDataOffset) + ", not 128");
    if (h.nOrder < 2) {
        c.Add(52, "order " + std::to_string(h.nOrder) + " is below 2");
        return false;
    }
    if (h.nNodeCount < 0) {
        c.Add(56, "node count " + std::to_string(h.nNodeCount) + " is negative");
        return false;
    }
    if (h.nNodeCount == 0) {
        if (c.pFaults && h.nRecordCount != 0)
            c.Add(72,
                  "record count " + std::to_string(h.nRecordCount) + " in a tree without nodes");
        return false;
    }
    if (h.nRoot < 0 || h.nRoot >= h.nNodeCount) {
        c.Add(60, "root " + std::to_string(h.nRoot) + " is not a node");
        return false;
    }
    return true;
}

// Depth-first, children in key order, so leaves and entries come out in key order.
void FileBPlusTree::CheckNode(CheckState& c, int num, int parent, const CMyKey* lo,
                              const CMyKey* hi, int depth) {
    const std::int64_t off = NodeOffset(num);
    if (num < 0 || num >= m_header.nNodeCount) {
        c.Add(parent >= 0 ? NodeOffset(parent) : 60,
              "pointer to node " + std::to_string(num) + ", which does not exist");
        return;
    }
    if (depth > kMaxCheckDepth || c.seen[static_cast<std::size_t>(num)]) {
        c.Add(off, "node " + std::to_string(num) + " is reached twice");
        return;
    }
    c.seen[static_cast<std::size_t>(num)] = 1;
    ++c.nSeen;
    FileBPlusTreeNode& node = *c.pNode;
    if (!ReadNode(num, node)) {
        c.Add(off, "node " + std::to_string(num) +
                       " cannot be read (number, order, key count or leaf flag)");
        return;
    }
    if (node.m_nParent != parent)
        c.Add(off + 16, "node " + std::to_string(num) + " names parent " +
                            std::to_string(node.m_nParent) + " instead of " +
                            std::to_string(parent));
    const int n = node.m_nKeyCount;
    for (int i = 0; i < n; ++i) {
        const CMyKey& k = node.m_keys[static_cast<std::size_t>(i)];
        const std::int64_t keyOff = off + 24 + 36 * i;
        if (i > 0 && !(node.m_keys[static_cast<std::size_t>(i - 1)] < k))
            c.Add(keyOff, "key " + std::to_string(i) + " of node " + std::to_string(num) +
                              " is not above the one before");
        if ((lo && !(*lo < k)) || (hi && *hi < k))
            c.Add(keyOff, "key " + std::to_string(i) + " of node " + std::to_string(num) +
                              " lies outside its parent's bounds");
    }
    if (node.IsLeaf()) {
        CheckLeaf(c, num, depth);
        return;
    }
    if (n < 1) {
        c.Add(off + 8, "internal node " + std::to_string(num) + " holds no key");
        return;
    }
    // The node buffer is reused below: keep what the children need.
    std::vector<CMyKey> keys(node.m_keys.begin(), node.m_keys.begin() + n);
    std::vector<std::int32_t> kids(node.m_ptrs.begin(), node.m_ptrs.begin() + n + 1);
    // Children lie anywhere in a large image: have them on their way before the first is read.
    if (m_nMode == kMemory)
        for (std::int32_t kid : kids)
            ImageNode(kid);
    for (int i = 0; i <= n; ++i)
        CheckNode(c, kids[static_cast<std::size_t>(i)], num,
                  i == 0 ? lo : &keys[static_cast<std::size_t>(i - 1)],
                  i == n ? hi : &keys[static_cast<std::size_t>(i)], depth + 1);
}

// The leaf just read into the node buffer: its depth, its keys and its link.
void FileBPlusTree::CheckLeaf(CheckState& c, int num, int depth) {
    const FileBPlusTreeNode& node = *c.pNode;
    const std::int64_t off = NodeOffset(num);
    const int n = node.m_nKeyCount;
    if (c.nLeafDepth >= 0 && depth != c.nLeafDepth)
        c.Add(off, "leaf " + std::to_string(num) + " is at depth " + std::to_string(depth) +
                       ", others at " + std::to_string(c.nLeafDepth));
    if (c.nLeafDepth < 0)
        c.nLeafDepth = depth;
    if (n == 0 && num != m_header.nRoot)
        c.Add(off + 8, "leaf " + std::to_string(num) + " holds no key");
    c.leaves.push_back({num, node.m_ptrs[static_cast<std::size_t>(m_header.nOrder)]});
    c.nKeys += n;
    if (c.pEntries) {
        for (int i = 0; i < n; ++i)
            c.pEntries->push_back({node.m_keys[static_cast<std::size_t>(i)],
                                   node.m_ptrs[static_cast<std::size_t>(i)], off + 20 + 36 * i});
    }
}

// The leaf chain must visit the leaves in key order, from node 0, and end after the last.
void FileBPlusTree::CheckLeafChain(CheckState& c) {
    if (c.leaves.empty())
        return;
    if (c.leaves.front().nNum != 0)
        c.Add(NodeOffset(c.leaves.front().nNum),
              "the leftmost leaf is node " + std::to_string(c.leaves.front().nNum) + ", not 0");
    for (std::size_t i = 0; i < c.leaves.size(); ++i) {
        const int num = c.leaves[i].nNum;
        const int next = c.leaves[i].nNext;
        const int want = i + 1 < c.leaves.size() ? c.leaves[i + 1].nNum : -1;
        if (next == want || (want == -1 && next <= 0))
            continue;
        c.Add(NodeOffset(num) + 20 + 36 * m_header.nOrder,
              "leaf " + std::to_string(num) + " links to " + std::to_string(next) + " instead of " +
                  std::to_string(want));
    }
}
