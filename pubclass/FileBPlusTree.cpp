// FileBPlusTree: modes, node I/O, insertion and look-up. (Node operations are in
// filebplustreenode.cpp.)
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "Clock.h"
#include "FileSystem.h"
#include "filebplustreenode.h"

namespace {

constexpr char kIdent[] = "FileBPlusTree";
// Deeper than any sound tree can be (every internal node has two children or more), so a walk
// that goes further is following a cycle in a damaged file.
constexpr int kMaxDepth = 64;

// The file name without its directory (either separator), which names the file's lock.
CString LockNameOf(const CString& strPath) {
    const std::string& s = strPath.str();
    std::size_t cut = s.find_last_of("/\\");
    return CString(cut == std::string::npos ? s : s.substr(cut + 1));
}

// The file's name in its directory.
std::string FileNameOf(const CString& strPath) {
    const std::string& s = strPath.str();
    return s.substr(s.find_last_of('/') + 1);
}

}  // namespace

FileBPlusTree::FileBPlusTree() {
    InitHeader();
}

FileBPlusTree::~FileBPlusTree() {
    Close();
}

void FileBPlusTree::InitHeader() {
    std::memset(&m_header, 0, sizeof m_header);
    std::memcpy(m_header.szIdent, kIdent, sizeof kIdent);
    m_header.nDataOffset = kDataOffset;
}

std::int64_t FileBPlusTree::NodeOffset(int nNum) const {
    return static_cast<std::int64_t>(m_header.nDataOffset) +
           static_cast<std::int64_t>(nNum) * SlotSize();
}

bool FileBPlusTree::WriteHeader() {
    if (m_nMode == kMemory) {
        if (m_image.size() < sizeof m_header)
            return false;
        std::memcpy(m_image.data(), &m_header, sizeof m_header);
        return true;
    }
    if (m_nMode == kDisk)
        return m_file.WriteAt(0, &m_header, sizeof m_header);
    return false;
}

bool FileBPlusTree::ReadNode(int nNum, FileBPlusTreeNode& node) {
    node.m_nNodeNum = nNum;
    if (m_nMode == kClosed || nNum < 0 || nNum >= m_header.nNodeCount)
        return false;
    const std::int64_t off = NodeOffset(nNum);
    const std::int64_t used = FileBPlusTreeNode::UsedSize(m_header.nOrder);
    bool ok;
    if (m_nMode == kMemory) {
        if (off + used > static_cast<std::int64_t>(m_image.size()))
            return false;
        ok = node.Decode(m_image.data() + off);
    } else {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(used));
        ok = m_file.ReadExactAt(static_cast<std::uint64_t>(off), buf.data(), buf.size()) &&
             node.Decode(buf.data());
    }
    // A slot that names another node is damage; using it would write over the wrong slot.
    return ok && node.m_nNodeNum == nNum;
}

bool FileBPlusTree::WriteNode(const FileBPlusTreeNode& node) {
    if (m_nMode == kClosed || node.m_nNodeNum < 0 || node.m_nNodeNum >= m_header.nNodeCount ||
        node.m_nOrder != m_header.nOrder)
        return false;
    const std::int64_t off = NodeOffset(node.m_nNodeNum);
    const std::int64_t s = SlotSize();
    if (m_nMode == kMemory) {
        if (off + s > static_cast<std::int64_t>(m_image.size()))
            return false;
        node.Encode(m_image.data() + off);
        return true;
    }
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(s));
    node.Encode(buf.data());
    return m_file.WriteAt(static_cast<std::uint64_t>(off), buf.data(), buf.size());
}

bool FileBPlusTree::GrowImageFor(int nNum) {
    const std::int64_t nNew =
        m_header.nDataOffset + (static_cast<std::int64_t>(nNum) + kGrowSlots) * SlotSize();
    if (nNew > kMaxImage)
        return false;
    try {
        // The image grows by 100 slots, but its storage geometrically (up to the limit), so
        // that a growing tree is not copied over and over.
        if (static_cast<std::size_t>(nNew) > m_image.capacity()) {
            std::int64_t nCap = std::max<std::int64_t>(
                nNew, std::min<std::int64_t>(2 * static_cast<std::int64_t>(m_image.capacity()),
                                             kMaxImage));
            m_image.reserve(static_cast<std::size_t>(nCap));
        }
        m_image.resize(static_cast<std::size_t>(nNew), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool FileBPlusTree::AllocNode(int bLeaf, FileBPlusTreeNode& node) {
    if (m_nMode == kClosed || m_header.nNodeCount < 0 || m_header.nNodeCount == INT_MAX)
        return false;
    const int nNum = m_header.nNodeCount;
    if (m_nMode == kMemory &&
        static_cast<std::int64_t>(m_image.size()) < NodeOffset(nNum) + SlotSize() &&
        !GrowImageFor(nNum))
        return false;
    node.m_nNodeNum = nNum;
    node.m_bLeaf = bLeaf;
    m_header.nNodeCount = nNum + 1;
    return WriteHeader() && WriteNode(node);
}

bool FileBPlusTree::ReserveNodes(int nCount) {
    if (m_nMode != kMemory)
        return m_nMode == kDisk;
    if (m_header.nNodeCount < 0 || m_header.nNodeCount > INT_MAX - nCount)
        return false;
    const std::int64_t nNeed = NodeOffset(m_header.nNodeCount + nCount - 1) + SlotSize();
    while (static_cast<std::int64_t>(m_image.size()) < nNeed) {
        // The first slot the image lacks is where AllocNode would grow it.
        const std::int64_t nHave =
            (static_cast<std::int64_t>(m_image.size()) - m_header.nDataOffset) / SlotSize();
        if (!GrowImageFor(static_cast<int>(std::max<std::int64_t>(nHave, m_header.nNodeCount))))
            return false;
    }
    return true;
}

bool FileBPlusTree::UpdateChildParents(const FileBPlusTreeNode& node) {
    if (node.IsLeaf())
        return true;
    FileBPlusTreeNode& child = *m_pT;
    for (int i = 0; i <= node.m_nKeyCount; ++i) {
        if (!ReadNode(node.m_ptrs[static_cast<std::size_t>(i)], child))
            return false;
        child.m_nParent = node.m_nNodeNum;
        if (!WriteNode(child))
            return false;
    }
    return true;
}

bool FileBPlusTree::DescendToLeaf(const CMyKey& k, FileBPlusTreeNode& node,
                                  std::vector<int>* pPath) {
    int nNext = m_header.nRoot;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        if (!ReadNode(nNext, node))
            return false;
        if (node.IsLeaf())
            return true;
        if (pPath)
            pPath->push_back(nNext);
        node.SearchKey(k, nullptr, &nNext);
    }
    return false;
}

void FileBPlusTree::MakeWorkNodes(int nOrder) {
    m_pA = std::make_unique<FileBPlusTreeNode>(nOrder);
    m_pB = std::make_unique<FileBPlusTreeNode>(nOrder);
    m_pF = std::make_unique<FileBPlusTreeNode>(nOrder);
    m_pT = std::make_unique<FileBPlusTreeNode>(nOrder);
}

bool FileBPlusTree::PrepareLock(const CString& strPath) {
    CString strName = LockNameOf(strPath);
    if (m_lock.IsReady() && strName == m_lock.GetName())
        return true;
    return m_lock.Create(strName, 1) != 0;
}

// The named lock when it can be had, and a flock of the same kind on the file in any case.
// A program without usable shared memory (not writable, full, damaged or not this user's
// alone) takes the flock alone; as everyone else takes it too, after the named lock, such a
// program and the others still keep each other out, and as those holding one lock wait only
// for the flock, no two programs can wait on each other in a circle. Both waits together are
// bounded by the one time-out.
bool FileBPlusTree::LockFile(const CString& strPath, bool bExclusive) {
    const std::uint64_t start = mlplat::TickMs();
    bool bNamed = false;
    if (PrepareLock(strPath) && !m_lock.IsDamaged()) {
        bNamed = (bExclusive ? m_lock.TryWriteLock(m_nLockTimeout)
                             : m_lock.TryReadLock(m_nLockTimeout)) != 0;
        if (!bNamed && !m_lock.IsDamaged())
            return false;  // another program holds it
    }
    // The flock goes on the file that loads and saves reach: never through a link they refuse.
    std::string strLockPath;
    if (!mlplat::ResolveStorePath(m_pDir.get(), strPath.GetString(), strLockPath)) {
        UnlockFile();
        return false;
    }
    const std::uint64_t spent = mlplat::TickMs() - start;
    const unsigned nLeft =
        spent >= m_nLockTimeout ? 0 : m_nLockTimeout - static_cast<unsigned>(spent);
    switch (m_fileLock.Lock(strLockPath.c_str(), bExclusive, nLeft)) {
        case mlplat::CFileLock::kHeld:
        case mlplat::CFileLock::kNoFile:  // a save makes it whole by a rename; a load fails anyway
            return true;
        case mlplat::CFileLock::kFailed:  // nobody can open it to lock it: the named lock serves
            if (bNamed)
                return true;
            break;
        case mlplat::CFileLock::kBusy:
            break;
    }
    UnlockFile();
    return false;
}

void FileBPlusTree::UnlockFile() {
    m_fileLock.Unlock();
    if (m_lock.HoldsWrite())
        m_lock.WriteUnlock();
    if (m_lock.HoldsRead())
        m_lock.ReadUnlock();
}

int FileBPlusTree::ImageSize(int nOrder, int nExpected) {
    if (nOrder <= 2 || nOrder > kMaxOrder)
        return -1;
    const std::int64_t m = nOrder;
    const std::int64_t t = nExpected > nOrder ? nExpected : nOrder;
    std::int64_t q = (2 * t) / m;
    std::int64_t total = q;
    while (2 * q > m) {
        q = (2 * q) / m;
        total += q;
    }
    total += 1;
    const std::int64_t size = total * FileBPlusTreeNode::SlotSize(m) + kDataOffset;
    return size > INT_MAX ? -1 : static_cast<int>(size);
}

// Checked before the path is taken, so that a refused call cannot redirect an open tree.
bool FileBPlusTree::ClaimPath(const CString& strPath) {
    if (strPath.IsEmpty() || m_nMode != kClosed)
        return false;
    m_strPath = strPath;
    return true;
}

bool FileBPlusTree::StartEmpty(int nMode, int nOrder) {
    m_nMode = nMode;
    MakeWorkNodes(nOrder);
    m_header.nOrder = nOrder;
    return WriteHeader();
}

int FileBPlusTree::CreateOnDisk(CString strPath, int nOrder) {
    if (!ClaimPath(strPath) || nOrder <= 1 || nOrder > kMaxOrder)
        return 0;
    try {
        if (!OpenFileOf(m_file, m_strPath,
                        CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyWrite |
                            CFile::typeBinary))
            return 0;
        if (StartEmpty(kDisk, nOrder))
            return 1;
    } catch (...) {
    }
    Close();
    return 0;
}

int FileBPlusTree::CreateInMemory(CString strPath, int nOrder, int nExpected) {
    if (!ClaimPath(strPath) || nOrder <= 1 || nExpected < 0)
        return 0;
    try {
        PrepareLock(m_strPath);  // a missing lock shows later, as a failing save
        const int nLen = ImageSize(nOrder, nExpected);
        if (nLen >= 0) {
            m_image.assign(static_cast<std::size_t>(nLen), 0);
            if (StartEmpty(kMemory, nOrder))
                return 1;
        }
    } catch (...) {
    }
    Close();
    return 0;
}

int FileBPlusTree::LoadFromFile(CString strPath) {
    return LoadChecked(strPath, true);
}

int FileBPlusTree::LoadForCheck(CString strPath) {
    return LoadChecked(strPath, false);
}

int FileBPlusTree::LoadChecked(const CString& strPath, bool bCheck) {
    if (strPath.IsEmpty() || m_nMode != kClosed)
        return 0;
    m_strPath = strPath;
    int ok = 0;
    try {
        if (!LockFile(m_strPath, false)) {
            Reset();  // another program is saving: its lock object stays ours to use later
            return 0;
        }
        ok = LoadImpl();
        UnlockFile();
        // Outside the lock: the image is private now. A damaged tree would answer wrongly or
        // corrupt itself further, so it counts as unreadable.
        if (ok && bCheck && !CheckImpl(nullptr, nullptr))
            ok = 0;
    } catch (...) {
        ok = 0;
    }
    if (!ok) {
        Close();
        return 0;
    }
    return 1;
}

int FileBPlusTree::LoadImpl() {
    CFile file;
    if (!OpenFileOf(file, m_strPath, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return 0;
    FileBPlusTreeHeader h;
    if (!file.ReadExactAt(0, &h, sizeof h) || std::memcmp(h.szIdent, kIdent, sizeof kIdent) != 0)
        return 0;
    // Every field that sizes or indexes the image is checked before anything is allocated.
    if (h.nOrder <= 2 || h.nOrder > kMaxLoadOrder || h.nNodeCount < 0 ||
        h.nDataOffset < static_cast<std::int32_t>(sizeof h) || h.nDataOffset > kDataOffset * 1024)
        return 0;
    if (h.nNodeCount > 0 && (h.nRoot < 0 || h.nRoot >= h.nNodeCount))
        return 0;
    const std::int64_t nLen =
        static_cast<std::int64_t>(h.nDataOffset) +
        static_cast<std::int64_t>(h.nNodeCount) * FileBPlusTreeNode::SlotSize(h.nOrder);
    const long long nFileLen = file.GetLength();
    // No writer makes an image beyond the limit: a header that claims more is damage, and
    // would otherwise cost its claim in memory at every open.
    if (nLen > kMaxImage || nFileLen < nLen)
        return 0;
    mlplat::ImageBytes image;
    // Every byte is read from the file below: none is zeroed first.
    image.resize(static_cast<std::size_t>(nLen));
    if (!file.ReadExactAt(0, image.data(), image.size()))
        return 0;
    file.Close();
    m_image.swap(image);
    m_header = h;
    m_nMode = kMemory;
    MakeWorkNodes(h.nOrder);
    return 1;
}

int FileBPlusTree::SaveToFile(CString strPath) {
    if (m_nMode != kMemory)
        return 0;
    try {
        const CString strTarget = strPath.IsEmpty() ? m_strPath : strPath;
        // The lock guards the file written, so a new target takes that file's lock.
        if (!LockFile(strTarget, true))
            return 0;
        m_strPath = strTarget;
        int ok = SaveImpl(strTarget);
        UnlockFile();
        return ok;
    } catch (...) {
        UnlockFile();
        return 0;
    }
}

int FileBPlusTree::SaveImpl(const CString& strPath) {
    const std::int64_t nLen = NodeOffset(m_header.nNodeCount);
    if (nLen < 0 || nLen > static_cast<std::int64_t>(m_image.size()))
        return 0;
    const std::size_t n = static_cast<std::size_t>(nLen);
    if (m_pDir)
        return mlplat::ReplaceFileContents(*m_pDir, FileNameOf(strPath).c_str(), m_image.data(), n)
                   ? 1
                   : 0;
    return mlplat::ReplaceFileContents(strPath, m_image.data(), n) ? 1 : 0;
}

bool FileBPlusTree::OpenFileOf(CFile& file, const CString& strPath, unsigned flags) const {
    if (m_pDir)
        return file.OpenIn(*m_pDir, FileNameOf(strPath).c_str(), flags, true);
    return mlplat::OpenStoreFile(file, strPath, flags);
}

int FileBPlusTree::Close() {
    Reset();
    m_lock.Release();
    return 1;
}

void FileBPlusTree::Reset() {
    if (m_nMode == kDisk)
        m_file.Close();
    m_pA.reset();
    m_pB.reset();
    m_pF.reset();
    m_pT.reset();
    mlplat::ImageBytes().swap(m_image);
    InitHeader();
    m_nMode = kClosed;
}

int FileBPlusTree::Insert(CMyKey key, int nValue, int bReplace, int* pOldValue) {
    if (m_nMode == kClosed)
        return 0;
    try {
        return InsertImpl(key, nValue, bReplace, pOldValue);
    } catch (...) {
        return 0;
    }
}

int FileBPlusTree::InsertImpl(const CMyKey& key, int nValue, int bReplace, int* pOldValue) {
    if (m_header.nNodeCount <= 0) {
        if (!InsertFirst(key, nValue))
            return 0;
    } else {
        // The internal nodes passed on the way down are the parents a split goes up through.
        std::vector<int> path;
        FileBPlusTreeNode& A = *m_pA;
        if (!DescendToLeaf(key, A, &path))
            return 0;
        int pos = 0;
        if (A.SearchKey(key, &pos, nullptr)) {
            // A key already there keeps its place: only its value may change, and the count
            // stays.
            if (pOldValue)
                *pOldValue = A.m_ptrs[static_cast<std::size_t>(pos)];
            if (!bReplace)
                return 0;
            A.m_ptrs[static_cast<std::size_t>(pos)] = nValue;
            return WriteNode(A) ? 1 : 0;
        }
        int ignored;
        if (!A.IsFull()) {
            if (!A.InsertEntry(key, nValue, &ignored) || !WriteNode(A))
                return 0;
        } else if (!ReserveSplitNodes(path) || !SplitUp(path, key, nValue)) {
            return 0;
        }
    }
    if (m_header.nRecordCount < INT_MAX)  // a damaged header may already hold the maximum
        ++m_header.nRecordCount;
    WriteHeader();
    return 1;
}

bool FileBPlusTree::InsertFirst(const CMyKey& key, int nValue) {
    FileBPlusTreeNode& A = *m_pA;
    m_header.nNodeCount = 0;
    m_header.nRoot = 0;
    A.m_nKeyCount = 0;
    A.m_nParent = -1;
    A.m_ptrs[static_cast<std::size_t>(A.m_nOrder)] = -1;
    int ignored;
    return AllocNode(1, A) && A.InsertEntry(key, nValue, &ignored) && WriteNode(A);
}

// Every node the split may take is had before anything is written: a split that failed
// half-way would lose the keys of the halves already written. It takes one node per full node
// on the path and a new root when the whole path is full.
bool FileBPlusTree::ReserveSplitNodes(const std::vector<int>& path) {
    int nNeed = 1;
    bool bRootSplits = true;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (!ReadNode(*it, *m_pT))
            return false;
        if (!m_pT->IsFull()) {
            bRootSplits = false;
            break;
        }
        ++nNeed;
    }
    return ReserveNodes(nNeed + (bRootSplits ? 1 : 0));
}

// Splits the full node in m_pA around (k, p) and carries the separator up the path, splitting
// each full parent in turn, until a parent has room or a new root takes it.
bool FileBPlusTree::SplitUp(std::vector<int>& path, CMyKey k, int p) {
    FileBPlusTreeNode& A = *m_pA;
    FileBPlusTreeNode& B = *m_pB;
    for (;;) {
        CMyKey sep;
        B.m_nParent = -1;
        if (!AllocNode(A.m_bLeaf, B) || !A.SplitInsert(k, p, &sep, B) || !UpdateChildParents(A) ||
            !UpdateChildParents(B) || !WriteNode(A) || !WriteNode(B))
            return false;
        p = B.m_nNodeNum;
        k = sep;
        if (path.empty())
            return GrowRoot(A.m_nNodeNum, k, p);
        const int nParent = path.back();
        path.pop_back();
        if (!ReadNode(nParent, A))
            return false;
        if (!A.IsFull()) {
            int ignored;
            return A.InsertEntry(k, p, &ignored) && UpdateChildParents(A) && WriteNode(A);
        }
    }
}

bool FileBPlusTree::GrowRoot(int nLeft, const CMyKey& sep, int nRight) {
    // A fresh buffer: the work nodes are all busy with the halves.
    FileBPlusTreeNode root(m_header.nOrder);
    if (!AllocNode(0, root))
        return false;
    root.MakeRoot(nLeft, sep, nRight);
    if (!WriteNode(root) || !UpdateChildParents(root))
        return false;
    m_header.nRoot = root.m_nNodeNum;
    return WriteHeader();
}

const std::uint8_t* FileBPlusTree::ImageNode(int nNum) const {
    if (nNum < 0 || nNum >= m_header.nNodeCount)
        return nullptr;
    const std::int64_t off = NodeOffset(nNum);
    const std::int64_t used = FileBPlusTreeNode::UsedSize(m_header.nOrder);
    if (off + used > static_cast<std::int64_t>(m_image.size()))
        return nullptr;
    const std::uint8_t* p = m_image.data() + off;
    // The binary search touches the node's lines one after another: ask for all of them at
    // once, so a node costs one wait on memory rather than one per key compared.
    for (std::int64_t line = 0; line < used; line += 64)
        __builtin_prefetch(p + line);
    return p;
}

int FileBPlusTree::FindInImage(const CMyKey& key, CMyKey* pOutKey, int* pValue,
                               int* pStatus) const {
    if (pStatus)
        *pStatus = 0;
    int nNext = m_header.nRoot;
    const FileBPlusTreeNode::SoughtKey sought(key);
    FileBPlusTreeNode::EncodedHit hit;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const std::uint8_t* p = ImageNode(nNext);
        if (!p || !FileBPlusTreeNode::SearchEncoded(p, m_header.nOrder, nNext, sought, hit))
            return 0;
        if (!hit.bLeaf) {
            nNext = hit.nPointer;
            continue;
        }
        if (!hit.pKey)
            return 0;
        if (pStatus)
            *pStatus = 1;
        if (pValue)
            *pValue = hit.nPointer;
        if (pOutKey)
            *pOutKey = CMyKey(hit.pKey);
        return hit.bFound ? 1 : 0;
    }
    return 0;  // deeper than any tree: a cycle
}

void FileBPlusTree::FindInEach(std::span<FileBPlusTree* const> trees, const CMyKey& key,
                               std::span<int> values) {
    struct Walk {
        const FileBPlusTree* pTree = nullptr;
        int nNext = -1;
        const std::uint8_t* pNode = nullptr;
    };
    constexpr std::size_t kMaxTrees = 4;
    Walk walks[kMaxTrees];
    const std::size_t nTrees = std::min({trees.size(), values.size(), kMaxTrees});
    std::size_t nActive = 0;
    for (std::size_t i = 0; i < nTrees; ++i) {
        values[i] = 0;
        FileBPlusTree* pTree = trees[i];
        if (pTree && pTree->m_nMode == kMemory && pTree->m_header.nNodeCount > 0) {
            walks[i] = {pTree, pTree->m_header.nRoot, nullptr};
            ++nActive;
        } else if (pTree && pTree->Find(key, nullptr, &values[i]) != 1) {
            values[i] = 0;
        }
    }
    const FileBPlusTreeNode::SoughtKey sought(key);
    // In step, level by level: every tree's next node is on its way before any is searched,
    // so the trees' waits on memory overlap.
    for (int depth = 0; depth < kMaxDepth && nActive > 0; ++depth) {
        for (std::size_t i = 0; i < nTrees; ++i)
            if (walks[i].pTree)
                walks[i].pNode = walks[i].pTree->ImageNode(walks[i].nNext);
        for (std::size_t i = 0; i < nTrees; ++i) {
            Walk& w = walks[i];
            if (!w.pTree)
                continue;
            FileBPlusTreeNode::EncodedHit hit;
            const bool bRead =
                w.pNode && FileBPlusTreeNode::SearchEncoded(w.pNode, w.pTree->m_header.nOrder,
                                                            w.nNext, sought, hit);
            if (bRead && !hit.bLeaf) {
                w.nNext = hit.nPointer;
                continue;
            }
            if (bRead && hit.bFound)
                values[i] = hit.nPointer;
            w.pTree = nullptr;
            --nActive;
        }
    }
}

int FileBPlusTree::Find(CMyKey key, CMyKey* pOutKey, int* pValue, int* pStatus) {
    if (m_nMode == kMemory && m_header.nNodeCount > 0)
        return FindInImage(key, pOutKey, pValue, pStatus);
    int nStatus = 0;
    int result = 0;
    if (m_nMode != kClosed && m_header.nNodeCount > 0) {
        try {
            FileBPlusTreeNode& F = *m_pF;
            if (DescendToLeaf(key, F, nullptr)) {
                int pos = 0;
                bool bFound = F.SearchKey(key, &pos, nullptr);
                if (pos < F.m_nKeyCount) {
                    nStatus = 1;
                    if (pValue)
                        *pValue = F.m_ptrs[static_cast<std::size_t>(pos)];
                    if (pOutKey)
                        *pOutKey = F.m_keys[static_cast<std::size_t>(pos)];
                    result = bFound ? 1 : 0;
                }
            }
        } catch (...) {
            nStatus = 0;
            result = 0;
        }
    }
    if (pStatus)
        *pStatus = nStatus;
    return result;
}
