// The structure of record files: header, slots and the released-slot list.
#include "TagIndex.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace tagfile {

void BuildNewFileHeader(unsigned char (&out)[kNewFileSize]) {
    std::memset(out, 0, sizeof out);
    std::memcpy(out, kFileId, sizeof kFileId);  // 15 characters and their zero
    std::memcpy(out + kVersionOffset, &kFileVersion, 4);
    std::memcpy(out + kEndOffset, &kFirstSlot, 4);
}

int SlotSizeOfKind(int nKind) {
    switch (nKind) {
        case kKindIndex:
            return sizeof(TagIndexEntry);
        case kKindTask:
            return sizeof(Task_Info);
        case kKindEvent:
            return sizeof(Thing_Info);
        case kKindStruct:
            return sizeof(StructObject_Info);
        default:
            return memtag::TagRecordSize(nKind);
    }
}

bool IsDeletedSlot(int nKind, const void* pSlot) {
    const auto* p = static_cast<const unsigned char*>(pSlot);
    if (nKind == kKindIndex)
        return (p[offsetof(TagIndexEntry, bySourceFlags)] >> 4) != 0;
    std::size_t at = memtag::kTagDeletedOffset;
    if (nKind == kKindTask)
        at = offsetof(Task_Info, wDeleted);
    else if (nKind == kKindEvent)
        at = offsetof(Thing_Info, wDeleted);
    else if (nKind == kKindStruct)
        at = offsetof(StructObject_Info, wDeleted);
    std::uint16_t w;
    std::memcpy(&w, p + at, 2);
    return w == 1;
}

bool ReadEnd(CFile& f, int nSlotSize, std::uint32_t& dwEnd) {
    if (nSlotSize <= 0 || !f.ReadExactAt(kEndOffset, &dwEnd, 4))
        return false;
    return dwEnd >= kFirstSlot && (dwEnd - kFirstSlot) % static_cast<std::uint32_t>(nSlotSize) == 0;
}

namespace {

// Reads the count at F and, when there is one, the last released offset, which also proves
// that the whole list lies in the file. One read serves both while the list is short.
bool ReadListTail(CFile& f, std::uint32_t dwEnd, std::uint16_t& wCount, std::uint32_t& dwLast) {
    unsigned char buf[4096];
    // One read: a short result is the end of the file, and asking again to confirm it (as
    // ReadAt does) would cost a second call on every append.
    const long long got = f.ReadOnceAt(dwEnd, buf, sizeof buf);
    if (got < 2)
        return false;
    std::memcpy(&wCount, buf, 2);
    if (wCount == 0)
        return true;
    const std::uint64_t lastAt = 2 + 4ull * (wCount - 1);
    if (lastAt + 4 <= static_cast<std::uint64_t>(got)) {
        std::memcpy(&dwLast, buf + lastAt, 4);
        return true;
    }
    return f.ReadExactAt(std::uint64_t{dwEnd} + lastAt, &dwLast, 4);
}

}  // namespace

bool ReadSlot(CFile& f, int nSlotSize, std::uint32_t dwOffset, void* pBuf, std::uint32_t* pEnd) {
    std::uint32_t dwEnd;
    if (!ReadEnd(f, nSlotSize, dwEnd) || !IsSlot(dwOffset, dwEnd, nSlotSize))
        return false;
    if (pEnd)
        *pEnd = dwEnd;
    return f.ReadExactAt(dwOffset, pBuf, static_cast<std::size_t>(nSlotSize));
}

bool ReadFreeList(CFile& f, std::uint32_t dwEnd, FreeList& list) {
    list = FreeList{};
    const long long len = f.GetLength();
    if (len < 0 || !f.ReadExactAt(dwEnd, &list.wCount, 2))
        return false;
    const std::uint64_t nRoom =
        (static_cast<std::uint64_t>(len) - std::min<std::uint64_t>(len, dwEnd + 2ull)) / 4;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(list.wCount, nRoom));
    list.offsets.resize(n);
    return n == 0 || f.ReadExactAt(std::uint64_t{dwEnd} + 2, list.offsets.data(), 4 * n);
}

long long TakeSlot(CFile& f, const void* pRecord, int nSlotSize) {
    std::uint32_t dwEnd, dwSlot = 0;
    std::uint16_t wCount;
    if (!ReadEnd(f, nSlotSize, dwEnd) || !ReadListTail(f, dwEnd, wCount, dwSlot))
        return -1;
    const auto nSize = static_cast<std::uint32_t>(nSlotSize);
    if (wCount > 0) {
        if (!IsSlot(dwSlot, dwEnd, nSlotSize))
            return -1;
        // Off the list before it is filled: cut short, this leaves a deleted record outside the
        // list, never a live one on it for the next take to overwrite.
        --wCount;
        if (!f.WriteAt(dwEnd, &wCount, 2) || !f.WriteAt(dwSlot, pRecord, nSize))
            return -1;
        return dwSlot;
    }
    // Appending: the offset must fit the 28 bits an index entry keeps.
    if (dwEnd > kMaxRecordOffset || std::uint64_t{dwEnd} + nSize > kMaxRecordOffset + 1ull)
        return -1;
    // The count at F stays untouched until F has moved past it: the record without its first
    // two bytes and the new zero count first, then F, then the two bytes over the old count.
    // A failed write is undone; a process killed between two of them leaves a sound list (at
    // worst a slot beyond F, or the new slot without its first two bytes). Writing the record
    // over the count first would leave its first bytes read as a count of released slots.
    unsigned char stack[1024 + 2];
    std::vector<unsigned char> heap;
    unsigned char* buf = stack;
    if (nSize + 2 > sizeof stack) {
        heap.resize(nSize + 2);
        buf = heap.data();
    }
    std::memcpy(buf, pRecord, nSize);
    buf[nSize] = buf[nSize + 1] = 0;
    if (!f.WriteAt(std::uint64_t{dwEnd} + 2, buf + 2, nSize))
        return -1;
    const std::uint32_t dwNewEnd = dwEnd + nSize;
    if (!f.WriteAt(kEndOffset, &dwNewEnd, 4))
        return -1;
    if (!f.WriteAt(dwEnd, buf, 2)) {
        // The slot is not whole: give it back, so that no half-written record is in the area.
        f.WriteAt(kEndOffset, &dwEnd, 4);
        return -1;
    }
    return dwEnd;
}

bool PlanRelease(CFile& f, int nSlotSize, std::uint32_t dwEnd, std::uint32_t dwOffset,
                 ReleasePlan& plan) {
    // The list's words must all be in the file: a count raised by damage would otherwise send
    // the new word far past the end.
    std::uint16_t wCount;
    std::uint32_t dwLast;
    if (!IsSlot(dwOffset, dwEnd, nSlotSize) || !ReadListTail(f, dwEnd, wCount, dwLast))
        return false;
    // A count that would wrap is never written: the slot is left off the list.
    plan = ReleasePlan{dwEnd, wCount, dwOffset, wCount == kMaxFreeCount};
    return true;
}

bool CommitRelease(CFile& f, const ReleasePlan& plan) {
    if (plan.bListFull)
        return true;
    const std::uint16_t wNew = plan.wCount + 1;
    if (plan.wCount == 0) {
        unsigned char buf[6];
        std::memcpy(buf, &wNew, 2);
        std::memcpy(buf + 2, &plan.dwOffset, 4);
        return f.WriteAt(plan.dwEnd, buf, sizeof buf);
    }
    // The offset first: a count is never raised over a word not yet written.
    return f.WriteAt(std::uint64_t{plan.dwEnd} + 2 + 4ull * plan.wCount, &plan.dwOffset, 4) &&
           f.WriteAt(plan.dwEnd, &wNew, 2);
}

bool ReleaseSlotAt(CFile& f, int nSlotSize, std::uint32_t dwEnd, std::uint32_t dwOffset) {
    ReleasePlan plan;
    return PlanRelease(f, nSlotSize, dwEnd, dwOffset, plan) && CommitRelease(f, plan);
}

bool ReleaseSlot(CFile& f, int nSlotSize, std::uint32_t dwOffset) {
    std::uint32_t dwEnd;
    return ReadEnd(f, nSlotSize, dwEnd) && ReleaseSlotAt(f, nSlotSize, dwEnd, dwOffset);
}

bool WalkSlots(CFile& f, int nSlotSize,
               const std::function<bool(std::uint32_t, const unsigned char*, std::size_t)>& visit) {
    std::uint32_t dwEnd;
    if (!ReadEnd(f, nSlotSize, dwEnd))
        return false;
    const auto nSize = static_cast<std::size_t>(nSlotSize);
    const std::size_t nPerBlock = std::max<std::size_t>(1, (256 * 1024) / nSize);
    std::vector<unsigned char> block;
    std::uint64_t pos = kFirstSlot;
    while (pos < dwEnd) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(nPerBlock * nSize, dwEnd - pos));
        block.resize(want);
        const long long got = f.ReadAt(pos, block.data(), want);
        if (got <= 0)
            return true;
        const auto nGot = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < nGot; at += nSize) {
            if (!visit(static_cast<std::uint32_t>(pos + at), block.data() + at,
                       std::min(nSize, nGot - at)))
                return true;
        }
        if (nGot < want)
            return true;
        pos += want;
    }
    return true;
}

const unsigned char* CSlotReader::Slot(std::uint32_t dwOffset, std::size_t& nAvail) {
    nAvail = 0;
    if (!m_bEndRead) {
        m_bEndRead = true;
        if (!ReadEnd(m_file, m_nSlotSize, m_dwEnd))
            m_dwEnd = 0;
    }
    if (!IsSlot(dwOffset, m_dwEnd, m_nSlotSize))
        return nullptr;
    const auto nSize = static_cast<std::size_t>(m_nSlotSize);
    if (dwOffset < m_dwStart ||
        dwOffset + std::uint64_t{nSize} > m_dwStart + std::uint64_t{m_nLen}) {
        if (!m_block)
            m_block.reset(new unsigned char[kBlockBytes]);
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, m_dwEnd - dwOffset));
        const long long got = m_file.ReadAt(dwOffset, m_block.get(), want);
        m_nLen = got > 0 ? static_cast<std::size_t>(got) : 0;
        m_dwStart = dwOffset;
    }
    const std::size_t at = dwOffset - m_dwStart;
    nAvail = at < m_nLen ? std::min(nSize, m_nLen - at) : 0;
    return m_block.get() + at;
}

}  // namespace tagfile

namespace tagfile {

bool IsLiveEntryOf(const TagIndexEntry& e, int nSource, std::string_view name) {
    if (e.IsDeleted() || e.Source() != nSource || !memtag::IsTagType(e.Type()) || name.empty() ||
        name.size() > static_cast<std::size_t>(memtag::kTagNameMax))
        return false;
    return std::memcmp(e.szName, name.data(), name.size()) == 0 && e.szName[name.size()] == 0;
}

EntryFault ReadNamedEntry(CFile& index, int nSource, std::uint32_t dwEntry, const CString& strName,
                          const std::function<CFile*(int)>& typedFile, TagIndexEntry& entry,
                          memtag::AnyTagRecord* pRecord) {
    if (!ReadSlot(index, sizeof entry, dwEntry, &entry) ||
        !IsLiveEntryOf(entry, nSource, strName.view()))
        return EntryFault::kNoEntry;
    const int nType = entry.Type();
    const int nSize = memtag::TagRecordSize(nType);
    CFile* pFile = typedFile(nType);
    // Read straight into the caller's record: a look-up copies it out of the file once.
    memtag::AnyTagRecord own;
    memtag::AnyTagRecord& rec = pRecord ? *pRecord : own;
    std::uint32_t dwEnd = 0;
    if (!pFile)
        return EntryFault::kNoRecordFile;
    if (!ReadEnd(*pFile, nSize, dwEnd) || !IsSlot(entry.RecordOffset(), dwEnd, nSize))
        return EntryFault::kRecordOutOfRange;
    // A record the file cuts short reads as reset past its end.
    if (pFile->ReadAt(entry.RecordOffset(), &rec, static_cast<std::size_t>(nSize)) != nSize) {
        rec.ResetAs(nType);
        pFile->ReadAt(entry.RecordOffset(), &rec, static_cast<std::size_t>(nSize));
    }
    // The field up to its first zero is the name, as CStringFromField reads it.
    const std::string_view recName(rec.s.szName, strnlen(rec.s.szName, sizeof rec.s.szName));
    if (recName != strName.view())
        return EntryFault::kRecordOtherName;
    if (rec.s.wDeleted == 1)
        return EntryFault::kRecordDeleted;
    return EntryFault::kNone;
}

}  // namespace tagfile
