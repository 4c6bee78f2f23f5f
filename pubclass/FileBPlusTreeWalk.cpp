// FileBPlusTree: the walk of every key in order.
#include "filebplustreenode.h"

bool FileBPlusTree::ForEachEntry(const std::function<bool(const CMyKey&, int)>& fn) {
    if (m_nMode == kClosed || m_header.nNodeCount <= 0)
        return true;
    try {
        FileBPlusTreeNode node(m_header.nOrder);
        // Down the first pointers to the leftmost leaf; a sound tree is far shallower than
        // its node count, so the bound only stops a cycle in a damaged file.
        int nNext = m_header.nRoot;
        int nSteps = 0;
        for (;;) {
            if (++nSteps > m_header.nNodeCount || !ReadNode(nNext, node))
                return false;
            if (node.IsLeaf())
                break;
            nNext = node.m_ptrs[0];
        }
        const auto nLink = static_cast<std::size_t>(node.m_nOrder);
        for (nSteps = 0;;) {
            // The next leaf may lie anywhere in the image: it comes while these keys are seen.
            if (m_nMode == kMemory)
                ImageNode(node.m_ptrs[nLink]);
            for (int i = 0; i < node.m_nKeyCount; ++i) {
                if (!fn(node.m_keys[static_cast<std::size_t>(i)],
                        node.m_ptrs[static_cast<std::size_t>(i)]))
                    return true;
            }
            nNext = node.m_ptrs[nLink];
            if (nNext <= 0)
                return true;
            if (++nSteps > m_header.nNodeCount || !ReadNode(nNext, node) || !node.IsLeaf())
                return false;
        }
    } catch (...) {
        return false;
    }
}
