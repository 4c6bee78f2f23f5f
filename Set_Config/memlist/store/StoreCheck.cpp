// The store check: record files, index entries against records, name trees against the index.
#include "StoreCheck.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "File.h"
#include "FileDypass.h"
#include "FileSystem.h"
#include "Gb2312.h"
#include "TagIndex.h"
#include "TagRecords.h"
#include "filebplustreenode.h"

namespace {

using std::uint32_t;

constexpr std::uint64_t kEntryFlagsAt = offsetof(TagIndexEntry, bySourceFlags);
constexpr std::uint64_t kEntryTypeAt = offsetof(TagIndexEntry, dwTypeOffset);

std::string Hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

// A name field for a person: at most its field's bytes, as UTF-8.
std::string Shown(const char* p, std::size_t nField) {
    return "\"" + mlplat::GbToUtf8(std::string_view(p, strnlen(p, nField))) + "\"";
}

// The tree key of an entry's name (the field may fill all 32 bytes).
CMyKey KeyOf(const TagIndexEntry& e) {
    return CMyKey(static_cast<const char*>(e.szName));
}

// What the check keeps of one record or index file.
struct RecordFile {
    int nSlot = 0;
    int nKind = 0;
    int nSize = 0;
    CString strName;
    CFile file;
    bool bUsable = false;  // header and free list could be read: slots may be looked at
    uint32_t dwEnd = 0;
    bool bListFull = false;  // its count at the most 16 bits hold
    std::set<uint32_t> released;
    std::map<uint32_t, TagIndexEntry> entries;  // index files: live entries
    std::map<uint32_t, std::string> names;      // tag files: live records and their names
};

class CChecker {
public:
    explicit CChecker(const CString& strDir) : m_strDir(strDir) {}

    std::vector<StoreFinding> Run() {
        // The check runs as root on stores in shared directories: it reads only what the
        // store itself would, through the directory opened once.
        if (!m_pDir->Open(m_strDir.str())) {
            Add(CString(), 0,
                errno == ELOOP ? "directory is refused: a link the store does not follow"
                               : "directory cannot be opened: " + std::string(strerror(errno)));
            return std::move(m_findings);
        }
        for (int i = 0; i < CFileDypass::kSlotCount; ++i) {
            m_files[i].nSlot = i;
            m_files[i].nKind = i % tagfile::kKindCount;
            m_files[i].nSize = tagfile::SlotSizeOfKind(m_files[i].nKind);
            m_files[i].strName = CFileDypass::SlotFileName(i);
            CheckRecordFile(m_files[i]);
        }
        for (int nSource : {memtag::kSourceBrakk, memtag::kSourceZuZir})
            CheckIndex(nSource);
        for (int nSource : {memtag::kSourceBrakk, memtag::kSourceZuZir})
            CheckTree(nSource);
        return std::move(m_findings);
    }

private:
    void Add(const CString& strFile, std::uint64_t nOffset, const std::string& text,
             bool bReclaimable = false) {
        m_findings.push_back({strFile, nOffset, CString(text.c_str()), bReclaimable});
    }

    enum class Opened { kOpen, kMissing, kFailed };
    // Opens a store file for reading as the engine does: own links followed, a file the
    // directory does not accept refused unread. A failure other than a missing file is a
    // finding.
    Opened OpenStoreFile(CFile& file, const CString& strName) {
        if (file.OpenIn(*m_pDir, strName, CFile::modeRead | CFile::shareDenyNone, true))
            return Opened::kOpen;
        const int err = errno;
        if (file.IsRefused())
            Add(strName, 0,
                "file is refused and not read: a link or a file the store does not use");
        else if (err == ENOENT)
            return Opened::kMissing;
        else
            Add(strName, 0, "file cannot be opened for reading");
        return Opened::kFailed;
    }
    RecordFile& FileOf(int nKind, int nSource) {
        return m_files[CFileDypass::SlotOf(nKind, nSource)];
    }

    bool IsFlaggedDeleted(RecordFile& rf, uint32_t dwOffset) {
        std::vector<unsigned char> slot(static_cast<std::size_t>(rf.nSize));
        return rf.file.ReadExactAt(dwOffset, slot.data(), slot.size()) &&
               tagfile::IsDeletedSlot(rf.nKind, slot.data());
    }

    void CheckRecordFile(RecordFile& rf) {
        const Opened opened = OpenStoreFile(rf.file, rf.strName);
        if (opened == Opened::kMissing)
            Add(rf.strName, 0, "file is missing");
        if (opened != Opened::kOpen)
            return;
        const long long len = rf.file.GetLength();
        if (len < static_cast<long long>(tagfile::kNewFileSize)) {
            Add(rf.strName, 0,
                "file is " + std::to_string(len) + " bytes long, shorter than its header");
            return;
        }
        char id[sizeof tagfile::kFileId];
        std::uint32_t dwVersion = 0;
        if (!rf.file.ReadExactAt(0, id, sizeof id) ||
            std::memcmp(id, tagfile::kFileId, sizeof id) != 0)
            Add(rf.strName, 0, "identifier is not ZORVEN_TEMPFILE");
        if (!rf.file.ReadExactAt(tagfile::kVersionOffset, &dwVersion, 4) ||
            dwVersion != tagfile::kFileVersion)
            Add(rf.strName, tagfile::kVersionOffset, "format version " + Hex(dwVersion));

        std::uint32_t dwEnd = 0;
        rf.file.ReadExactAt(tagfile::kEndOffset, &dwEnd, 4);
        if (!tagfile::ReadEnd(rf.file, rf.nSize, dwEnd)) {
            Add(rf.strName, tagfile::kEndOffset,
                "free-list offset " + std::to_string(dwEnd) + " is not on the grid of " +
                    std::to_string(rf.nSize) + "-byte slots from 40");
            return;
        }
        if (std::uint64_t{dwEnd} + 2 > static_cast<std::uint64_t>(len)) {
            Add(rf.strName, tagfile::kEndOffset,
                "free-list offset " + std::to_string(dwEnd) + " lies beyond the end of the file (" +
                    std::to_string(len) + " bytes)");
            return;
        }
        rf.dwEnd = dwEnd;
        rf.bUsable = true;
        tagfile::FreeList list;
        tagfile::ReadFreeList(rf.file, dwEnd, list);
        rf.bListFull = list.wCount == tagfile::kMaxFreeCount;
        if (list.offsets.size() < list.wCount)
            Add(rf.strName, dwEnd,
                "free count " + std::to_string(list.wCount) +
                    " runs past the end of the file (room for " +
                    std::to_string(list.offsets.size()) + ")");
        for (std::size_t i = 0; i < list.offsets.size(); ++i) {
            const std::uint64_t at = std::uint64_t{dwEnd} + 2 + 4 * i;
            const std::uint32_t dwSlot = list.offsets[i];
            if (!tagfile::IsSlot(dwSlot, dwEnd, rf.nSize)) {
                Add(rf.strName, at,
                    "released offset " + std::to_string(dwSlot) +
                        " is not a slot boundary within the slot area [40, " +
                        std::to_string(dwEnd) + ")");
                continue;
            }
            if (!rf.released.insert(dwSlot).second) {
                Add(rf.strName, at, "slot " + std::to_string(dwSlot) + " is released twice");
                continue;
            }
            if (!IsFlaggedDeleted(rf, dwSlot))
                Add(rf.strName, dwSlot,
                    "released slot " + std::to_string(dwSlot) + " is not flagged deleted");
        }
        WalkFile(rf);
    }

    void WalkFile(RecordFile& rf) {
        tagfile::WalkSlots(
            rf.file, rf.nSize, [&](uint32_t dwOffset, const unsigned char* p, std::size_t nAvail) {
                if (nAvail < static_cast<std::size_t>(rf.nSize))
                    return false;  // the file ends early: reported with F
                bool bDeleted;
                if (rf.nKind == CFileDypass::kKindIndex) {
                    const auto e = tagfile::ScratchFrom<TagIndexEntry>(p, nAvail);
                    bDeleted = e.IsDeleted();
                    if (!bDeleted)
                        rf.entries[dwOffset] = e;
                } else if (memtag::IsTagType(rf.nKind)) {
                    const auto r = tagfile::ScratchFrom<StringTagInfo>(p, nAvail);
                    bDeleted = r.wDeleted == 1;
                    // The record's own type field is the host's: stored as given, not checked.
                    if (!bDeleted)
                        rf.names[dwOffset] = std::string(r.szName, strnlen(r.szName, 32));
                } else {
                    bDeleted = tagfile::IsDeletedSlot(rf.nKind, p);
                }
                // Deletes go on when the list is full, leaving their slots off it.
                if (bDeleted && !rf.released.count(dwOffset))
                    Add(rf.strName, dwOffset,
                        "deleted record at " + std::to_string(dwOffset) +
                            (rf.bListFull ? " is off the full free list (reclaimable)"
                                          : " is not on the free list"),
                        rf.bListFull);
                return true;
            });
    }

    void CheckIndex(int nSource) {
        RecordFile& idx = FileOf(CFileDypass::kKindIndex, nSource);
        if (!idx.bUsable)
            return;
        std::map<std::pair<int, uint32_t>, uint32_t> referenced;  // (type, record) -> entry
        for (const auto& [dwEntry, e] : idx.entries) {
            const std::string name = Shown(e.szName, sizeof e.szName);
            if (e.Source() != nSource)
                Add(idx.strName, dwEntry + kEntryFlagsAt,
                    "entry " + name + " carries source " + std::to_string(e.Source()) +
                        " in the index of source " + std::to_string(nSource));
            const int nType = e.Type();
            if (!memtag::IsTagType(nType)) {
                Add(idx.strName, dwEntry + kEntryTypeAt,
                    "entry " + name + " has data type " + std::to_string(nType));
                continue;
            }
            RecordFile& rf = FileOf(nType, nSource);
            if (!rf.bUsable)
                continue;
            const uint32_t dwRec = e.RecordOffset();
            const std::string where = std::to_string(dwRec) + " of " + rf.strName.str();
            if (!tagfile::IsSlot(dwRec, rf.dwEnd, rf.nSize)) {
                Add(idx.strName, dwEntry,
                    "entry " + name + " points at " + where + ", which is not a slot there");
                continue;
            }
            auto it = rf.names.find(dwRec);
            if (it == rf.names.end()) {
                Add(idx.strName, dwEntry,
                    "entry " + name + " points at the deleted record " + where);
                continue;
            }
            const std::string& recName = it->second;
            if (recName != std::string(e.szName, strnlen(e.szName, sizeof e.szName)))
                Add(idx.strName, dwEntry,
                    "entry " + name + " points at " + where + ", the record of " +
                        Shown(recName.c_str(), recName.size()));
            auto [at, bNew] = referenced.emplace(std::make_pair(nType, dwRec), dwEntry);
            if (!bNew)
                Add(idx.strName, dwEntry,
                    "entry " + name + " points at " + where + ", as the entry at " +
                        std::to_string(at->second) + " does");
        }
        for (int nType = memtag::kTypeBool; nType <= memtag::kTypeString; ++nType) {
            const RecordFile& rf = FileOf(nType, nSource);
            for (const auto& [dwRec, recName] : rf.names) {
                if (!referenced.count({nType, dwRec}))
                    Add(rf.strName, dwRec,
                        "live record " + Shown(recName.c_str(), recName.size()) +
                            " is named by no index entry");
            }
        }
    }

    void CheckTree(int nSource) {
        const CString strTree(nSource == memtag::kSourceBrakk ? CFileDypass::kBrakkTreeName
                                                              : CFileDypass::kZuZirTreeName);
        RecordFile& idx = FileOf(CFileDypass::kKindIndex, nSource);
        CFile look;
        const Opened opened = OpenStoreFile(look, strTree);
        look.Close();  // only looked at: the tree loads under its lock
        if (opened == Opened::kFailed)
            return;
        if (opened == Opened::kMissing) {
            // A store that has not been closed yet has no tree files; that is sound while the
            // index is empty.
            if (!idx.entries.empty())
                Add(strTree, 0,
                    "file is missing while " + idx.strName.str() + " holds " +
                        std::to_string(idx.entries.size()) + " live entries");
            return;
        }
        auto tree = std::make_unique<FileBPlusTree>();
        tree->SetDirectory(m_pDir);
        if (!tree->LoadForCheck(m_strDir + "/" + strTree)) {
            Add(strTree, 0, "tree cannot be loaded (identification, length, or its lock is held)");
            return;
        }
        std::vector<FileBPlusTree::Fault> faults;
        std::vector<FileBPlusTree::LeafEntry> leaves;
        tree->CheckStructure(faults, &leaves);
        tree->Close();
        for (const auto& f : faults)
            Add(strTree, static_cast<std::uint64_t>(f.nOffset), f.strText.str());
        if (!idx.bUsable)
            return;

        std::map<CMyKey, int> values;
        for (const auto& leaf : leaves) {
            const std::string key(leaf.key.GetText(), strnlen(leaf.key.GetText(), 31));
            values[leaf.key] = leaf.nValue;
            if (leaf.nValue == 0)
                continue;
            const std::string shown = Shown(key.c_str(), key.size());
            const auto dwEntry = static_cast<uint32_t>(leaf.nValue);
            if (leaf.nValue < 0 || !tagfile::IsSlot(dwEntry, idx.dwEnd, idx.nSize)) {
                Add(strTree, static_cast<std::uint64_t>(leaf.nOffset),
                    "key " + shown + " leads to " + std::to_string(leaf.nValue) +
                        ", which is not an entry of " + idx.strName.str());
                continue;
            }
            auto it = idx.entries.find(dwEntry);
            if (it == idx.entries.end()) {
                Add(strTree, static_cast<std::uint64_t>(leaf.nOffset),
                    "key " + shown + " leads to the deleted entry at " + std::to_string(dwEntry) +
                        " of " + idx.strName.str());
                continue;
            }
            if (KeyOf(it->second) != leaf.key)
                Add(strTree, static_cast<std::uint64_t>(leaf.nOffset),
                    "key " + shown + " leads to the entry at " + std::to_string(dwEntry) +
                        ", which is " + Shown(it->second.szName, 32));
        }
        // A name given twice keeps its older entry live; it is sound while the name still leads
        // to a live entry of that name.
        for (const auto& [dwEntry, e] : idx.entries) {
            const CMyKey key = KeyOf(e);
            auto it = values.find(key);
            if (it == values.end() || it->second == 0) {
                Add(idx.strName, dwEntry,
                    "live entry " + Shown(e.szName, 32) + " cannot be found by name in " +
                        strTree.str());
                continue;
            }
            if (static_cast<uint32_t>(it->second) == dwEntry)
                continue;
            auto other = idx.entries.find(static_cast<uint32_t>(it->second));
            if (other == idx.entries.end() || KeyOf(other->second) != key)
                Add(idx.strName, dwEntry,
                    "live entry " + Shown(e.szName, 32) + " is named in " + strTree.str() +
                        " by a key that leads elsewhere");
        }
    }

    CString m_strDir;
    std::shared_ptr<mlplat::StoreDir> m_pDir = std::make_shared<mlplat::StoreDir>();
    RecordFile m_files[CFileDypass::kSlotCount];
    std::vector<StoreFinding> m_findings;
};

}  // namespace

std::vector<StoreFinding> CStoreCheck::CheckDirectory(const CString& strDir) {
    try {
        return CChecker(strDir).Run();
    } catch (const std::exception& ex) {
        return {{CString(), 0, CString((std::string("check failed: ") + ex.what()).c_str())}};
    }
}
