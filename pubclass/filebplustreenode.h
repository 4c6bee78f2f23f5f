// FileBPlusTree: a B+ tree of CMyKey -> int whose nodes live in one file of fixed-size slots.
//
// The tree is normally worked on as a memory image of the whole file: LoadFromFile (or
// CreateInMemory) makes the image, Insert and Find run against it, SaveToFile writes it back in
// one piece. A direct disk mode (CreateOnDisk) reads and writes node slots in the file itself.
// Loading holds the shared side, saving the exclusive side of a CSynchronicLock named after the
// file's name, and a flock of the same kind on the file itself, each waited for at most 500 ms
// together; insertions and look-ups hold no lock. Without usable shared memory the flock alone
// is taken, and that still keeps such a program and the others apart.
//
// The file format is shared with other programs byte for byte: a 76-byte header at offset 0,
// node slots of 28 + 40 * order bytes from the data offset (128). Every number read from a file
// is checked before it is used: a damaged file makes an operation fail, never misbehave.
// Results are 1 (nonzero) for success and 0 for failure; nothing throws. One thread per tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "CString.h"
#include "File.h"
#include "FileLock.h"
#include "ImageBuffer.h"
#include "MyKey.h"
#include "SynchronicLock.h"

namespace mlplat {
class StoreDir;
}

#pragma pack(push, 2)
// The file's header, as stored (little-endian).
struct FileBPlusTreeHeader {
    char szIdent[20];           // "FileBPlusTree", NUL-terminated
    char szText[32];            // written empty, never read
    std::int32_t nOrder;        // greatest number of keys in a node
    std::int32_t nNodeCount;    // node slots in use
    std::int32_t nRoot;         // root node number
    std::int32_t nReserved;     // written 0
    std::int32_t nDataOffset;   // offset of node slot 0; written 128
    std::int32_t nRecordCount;  // distinct keys ever inserted
};
#pragma pack(pop)
static_assert(sizeof(FileBPlusTreeHeader) == 76);
static_assert(offsetof(FileBPlusTreeHeader, szText) == 20);
static_assert(offsetof(FileBPlusTreeHeader, nOrder) == 52);
static_assert(offsetof(FileBPlusTreeHeader, nNodeCount) == 56);
static_assert(offsetof(FileBPlusTreeHeader, nRoot) == 60);
static_assert(offsetof(FileBPlusTreeHeader, nReserved) == 64);
static_assert(offsetof(FileBPlusTreeHeader, nDataOffset) == 68);
static_assert(offsetof(FileBPlusTreeHeader, nRecordCount) == 72);

// One node in memory. In a leaf, pointer i (i < key count) is the value under key i and pointer
// m links to the next leaf (-1 for the last). In an internal node pointers 0..n are children and
// key i is the greatest key under child i.
class FileBPlusTreeNode {
public:
    static constexpr int kHeadSize = 20;   // five integers: number, order, count, leaf, parent
    static constexpr int kEntrySize = 36;  // pointer + key

    explicit FileBPlusTreeNode(int nOrder);
    virtual ~FileBPlusTreeNode() = default;
    FileBPlusTreeNode(const FileBPlusTreeNode&) = delete;
    FileBPlusTreeNode& operator=(const FileBPlusTreeNode&) = delete;

    // Slot size S = 28 + 40 m, and the bytes of a slot that carry the node, 24 + 36 m.
    static std::int64_t SlotSize(std::int64_t m) { return 28 + 40 * m; }
    static std::int64_t UsedSize(std::int64_t m) { return 24 + 36 * m; }

    // Writes the node into SlotSize bytes at p; bytes that carry nothing are written as zeros.
    void Encode(std::uint8_t* p) const;
    // Reads the node from UsedSize bytes at p. Fails, leaving the node unusable, when the stored
    // order differs from this node's or the key count or leaf flag are out of range.
    bool Decode(const std::uint8_t* p);
    // Searches the keys of node `nNum` of order m where they lie in its encoded bytes at p,
    // with Decode's checks and without decoding the node: false when p holds no such node.
    // As SearchKey: `nPos` the first key not below k, `nPointer` the pointer there, `pKey` the
    // key's bytes there (null when nPos is the count).
    struct EncodedHit {
        bool bLeaf = false;
        bool bFound = false;
        int nPos = 0;
        std::int32_t nPointer = -1;
        const char* pKey = nullptr;
    };
    // A key made ready for many comparisons: its bytes as big-endian words, up to the zero
    // after its text. CompareAt(p) orders the 32-byte key field at p against it exactly as
    // CMyKey::Compare would (negative: p's key is below).
    class SoughtKey {
    public:
        explicit SoughtKey(const CMyKey& k);
        int CompareAt(const char* p) const;

    private:
        std::uint64_t WordAt(const char* p, int i) const;
        std::uint64_t m_words[4] = {};
        std::uint64_t m_lastMask = 0;
        int m_nWords = 0;
    };
    static bool SearchEncoded(const std::uint8_t* p, int m, int nNum, const SoughtKey& k,
                              EncodedHit& hit);

    // Position of the first key >= k (or n) and the pointer there; true when the key is there.
    bool SearchKey(const CMyKey& k, int* pPos, int* pPointer) const;
    // Inserts into a node that is not full; refuses a present key. *pOutPointer is -1 on
    // refusal.
    int InsertEntry(const CMyKey& k, int nPointer, int* pOutPointer);
    // Splits this full node into itself and `right` while inserting k; the separator that goes
    // up is this node's greatest key afterwards (leaf) or the key between the halves (internal).
    int SplitInsert(const CMyKey& k, int nPointer, CMyKey* pSeparator, FileBPlusTreeNode& right);
    void MakeRoot(int nLeft, const CMyKey& k, int nRight);
    bool IsFull() const { return m_nKeyCount >= m_nOrder; }
    bool IsLeaf() const { return m_bLeaf != 0; }

    int m_nNodeNum = -1;
    int m_nOrder;
    int m_bLeaf = 0;
    int m_nKeyCount = 0;
    int m_nParent = -1;
    std::vector<CMyKey> m_keys;        // m keys
    std::vector<std::int32_t> m_ptrs;  // m + 1 pointers
};

class FileBPlusTree {
public:
    static constexpr int kDataOffset = 128;
    static constexpr int kGrowSlots = 100;
    static constexpr std::int64_t kMaxImage = 50000000;
    static constexpr unsigned kLockTimeoutMs = 500;
    // Largest order whose slot fits the image limit.
    static constexpr int kMaxOrder = static_cast<int>((kMaxImage - kDataOffset - 28) / 40);
    // Largest order a loaded tree may have: the first node allocated after a load grows the
    // image by kGrowSlots slots, which beyond this order exceeds the image limit, so a tree of
    // a larger order could never take another node.
    static constexpr int kMaxLoadOrder =
        static_cast<int>((kMaxImage - kDataOffset - kGrowSlots * 28) / (kGrowSlots * 40));

    enum Mode { kClosed = 0, kDisk = 1, kMemory = 2 };

    FileBPlusTree();
    virtual ~FileBPlusTree();
    FileBPlusTree(const FileBPlusTree&) = delete;
    FileBPlusTree& operator=(const FileBPlusTree&) = delete;

    // Disk mode: creates (or truncates) the file, writes the header and keeps the file open.
    int CreateOnDisk(CString strPath, int nOrder);
    // Memory mode: a new empty image sized for about nExpected entries; writes nothing.
    int CreateInMemory(CString strPath, int nOrder, int nExpected);
    // Memory mode: the whole file read into an image under the shared lock. A file whose image
    // would exceed the image limit, whose order exceeds kMaxLoadOrder or that fails
    // CheckStructure is refused. When the shared lock is not had in time the lock object is
    // kept as it was.
    int LoadFromFile(CString strPath);
    // LoadFromFile for a checker: a tree that fails CheckStructure is loaded all the same, so
    // that its faults can be listed. Not for use: such a tree may answer wrongly.
    int LoadForCheck(CString strPath);
    // Memory mode only: the image written to the file (empty path: the stored one) under the
    // exclusive lock, through mlplat::ReplaceFileContents: the old file is replaced only once
    // the new one is completely written, keeping its mode, its links and its hard links.
    int SaveToFile(CString strPath = CString());
    // Back to closed; frees everything; never saves. Returns 1.
    int Close();

    // Inserts key -> value. A present key is left alone (result 0) unless bReplace is set; in
    // both cases *pOldValue receives its value. Replacing keeps the record count. An insertion
    // that needs more nodes than the image limit allows is refused before anything is written.
    int Insert(CMyKey key, int nValue, int bReplace = 1, int* pOldValue = nullptr);
    // 1 when the key is present (with its value). Otherwise 0, with status 1 and the next
    // greater key and its value when there is one in the same leaf, or status 0.
    int Find(CMyKey key, CMyKey* pOutKey = nullptr, int* pValue = nullptr, int* pStatus = nullptr);
    // Find of one key in several trees at once (at most four): values[i] is the key's value in
    // trees[i] when Find would return 1 there, else 0. A null tree gives 0.
    static void FindInEach(std::span<FileBPlusTree* const> trees, const CMyKey& key,
                           std::span<int> values);

    // One inconsistency found by CheckStructure: where in the file, and what.
    struct Fault {
        std::int64_t nOffset;
        CString strText;
    };
    // A key of a leaf, its value and the file offset of the value.
    struct LeafEntry {
        CMyKey key;
        int nValue;
        std::int64_t nOffset;
    };
    // Walks the open tree (either mode) without changing it: header counts, every node's number,
    // parent, key order and bounds, leaves at one depth, the leaf chain and unreachable nodes.
    // Appends one fault per inconsistency (at most a few per node) and, when `pEntries` is
    // given, every key reached with its value in key order. True when nothing was found.
    bool CheckStructure(std::vector<Fault>& faults, std::vector<LeafEntry>* pEntries = nullptr);

    // Every key of the leaves with its value, in key order: from the leftmost leaf along the
    // leaf chain. `fn` returns false to stop. False when a node on the way cannot be read (the
    // keys before it were visited).
    bool ForEachEntry(const std::function<bool(const CMyKey&, int)>& fn);

    // The image size CreateInMemory allocates for order m and e entries; -1 when m <= 2.
    static int ImageSize(int nOrder, int nExpected);

    // The directory of every path the tree is given, opened by the owner (who may open it again
    // in place): the file is reached through it by name. Without one, each load and save opens
    // the directory of its path.
    void SetDirectory(std::shared_ptr<const mlplat::StoreDir> pDir) { m_pDir = std::move(pDir); }

    int GetMode() const { return m_nMode; }
    const CString& GetPath() const { return m_strPath; }
    const FileBPlusTreeHeader& GetHeader() const { return m_header; }
    int GetOrder() const { return m_header.nOrder; }
    int GetNodeCount() const { return m_header.nNodeCount; }
    int GetRoot() const { return m_header.nRoot; }
    int GetRecordCount() const { return m_header.nRecordCount; }
    std::int64_t GetImageLength() const { return static_cast<std::int64_t>(m_image.size()); }
    // The system name of a shared block of the file's lock that was refused as not this
    // user's alone (the flock served alone); empty when none was.
    const std::string& RefusedLockName() const { return m_lock.RefusedName(); }

private:
    void InitHeader();
    bool WriteHeader();
    bool ReadNode(int nNum, FileBPlusTreeNode& node);
    // Find on the memory image: the keys are searched where they lie, node by node.
    int FindInImage(const CMyKey& key, CMyKey* pOutKey, int* pValue, int* pStatus) const;
    // The image's node nNum, its lines asked for; null when it lies outside the image.
    const std::uint8_t* ImageNode(int nNum) const;
    bool WriteNode(const FileBPlusTreeNode& node);
    bool AllocNode(int bLeaf, FileBPlusTreeNode& node);
    // Grows the image as AllocNode would for node nNum (kGrowSlots slots past it).
    bool GrowImageFor(int nNum);
    // True when nCount more nodes can be allocated, growing the image now if they need it.
    bool ReserveNodes(int nCount);
    int LoadChecked(const CString& strPath, bool bCheck);
    // Shared by CheckStructure and the load: with no fault list, stops at the first fault and
    // ignores the record count, which no operation relies on.
    bool CheckImpl(std::vector<Fault>* pFaults, std::vector<LeafEntry>* pEntries);
    bool CheckWalk(std::vector<Fault>* pFaults, std::vector<LeafEntry>* pEntries);
    // The steps of the check, sharing what it found so far: the header's fields (false when no
    // node can be walked), each node reached from the root, each leaf, and the leaf chain.
    struct CheckState;
    bool CheckHeaderFields(CheckState& c);
    void CheckNode(CheckState& c, int num, int parent, const CMyKey* lo, const CMyKey* hi,
                   int depth);
    void CheckLeaf(CheckState& c, int num, int depth);
    void CheckLeafChain(CheckState& c);
    // Close without releasing the lock object.
    void Reset();
    std::int64_t NodeOffset(int nNum) const;
    std::int64_t SlotSize() const { return FileBPlusTreeNode::SlotSize(m_header.nOrder); }
    bool UpdateChildParents(const FileBPlusTreeNode& node);
    // Descends from the root to the leaf for k into `node`, recording the internal nodes passed.
    bool DescendToLeaf(const CMyKey& k, FileBPlusTreeNode& node, std::vector<int>* pPath);
    void MakeWorkNodes(int nOrder);
    bool ClaimPath(const CString& strPath);
    // Enters the mode with fresh work nodes and writes the first header.
    bool StartEmpty(int nMode, int nOrder);
    bool PrepareLock(const CString& strPath);
    // Takes both locks of the file at strPath for a load or a save (see LockFile in the .cpp).
    bool LockFile(const CString& strPath, bool bExclusive);
    void UnlockFile();
    int InsertImpl(const CMyKey& key, int nValue, int bReplace, int* pOldValue);
    // The steps of an insert: the first key of an empty tree; the nodes a split of a full leaf
    // on `path` will take, had before anything is written; the split carried up the path; and a
    // new root over two halves.
    bool InsertFirst(const CMyKey& key, int nValue);
    bool ReserveSplitNodes(const std::vector<int>& path);
    bool SplitUp(std::vector<int>& path, CMyKey k, int p);
    bool GrowRoot(int nLeft, const CMyKey& sep, int nRight);
    int LoadImpl();
    int SaveImpl(const CString& strPath);
    bool OpenFileOf(CFile& file, const CString& strPath, unsigned flags) const;

    int m_nMode = kClosed;
    CString m_strPath;
    FileBPlusTreeHeader m_header{};
    CFile m_file;                // disk mode
    mlplat::ImageBytes m_image;  // memory mode
    std::unique_ptr<FileBPlusTreeNode> m_pA, m_pB, m_pF, m_pT;
    CSynchronicLock m_lock;
    mlplat::CFileLock m_fileLock;
    unsigned m_nLockTimeout = kLockTimeoutMs;
    std::shared_ptr<const mlplat::StoreDir> m_pDir;
};
