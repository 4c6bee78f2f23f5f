// Record files of the temporary file set, and the tag index entry: the one record-access layer.
//
// Every data and index file is a header, the free-list offset F at 36 (the end of the slot
// area), fixed-size record slots from 40 up to F, then at F the count n of released slots and
// their n offsets, last released last. The functions here are the only code that reads or writes
// that structure, for the engine, the store check and the inspector alike. They trust nothing read
// from a file: another program or a crash may have damaged it, so an F, a released offset or a
// record offset that does not fit the file makes the operation fail before anything is written.
// Nothing is cached; every call reads what it needs.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <memory>
#include <vector>

#include "File.h"
#include "TagRecords.h"

static_assert(std::endian::native == std::endian::little, "the store files are little-endian");

namespace tagfile {

// Header of every data and index file: written only when a file is created empty.
constexpr char kFileId[] = "ZORVEN_TEMPFILE";
constexpr std::uint32_t kFileVersion = 0x00010000;
constexpr std::uint64_t kVersionOffset = 24;
constexpr std::uint64_t kEndOffset = 36;  // word F
constexpr std::uint32_t kFirstSlot = 40;  // first record slot, and F of a new file
constexpr std::size_t kNewFileSize = 42;  // header, F and a zero count
// Record offsets share word 36 of an index entry with the type code: 28 bits.
constexpr std::uint32_t kMaxRecordOffset = 0x0FFFFFFF;

// The 42 bytes of a new file.
void BuildNewFileHeader(unsigned char (&out)[kNewFileSize]);

// Kinds of record file, as the file table orders them: the index, the four tag types (by their
// type code), tasks, events and struct objects.
constexpr int kKindIndex = 0;
constexpr int kKindTask = 5;
constexpr int kKindEvent = 6;
constexpr int kKindStruct = 7;
// Kinds per source: the file table holds Brakk's files, then ZuZir's in the same order.
constexpr int kKindCount = kKindStruct + 1;
// The slot size of a kind, 0 for another number.
int SlotSizeOfKind(int nKind);
// True when the slot bytes `pSlot` of a kind carry that kind's deleted flag.
bool IsDeletedSlot(int nKind, const void* pSlot);

// Reads F. False when it cannot be read, is below 40, is off the slot grid of `nSlotSize` or
// lies beyond the file (its count cannot be read).
bool ReadEnd(CFile& f, int nSlotSize, std::uint32_t& dwEnd);
// True when `dwOffset` is the start of a slot of the area [40, dwEnd).
constexpr bool IsSlot(std::uint32_t dwOffset, std::uint32_t dwEnd, int nSlotSize) {
    return nSlotSize > 0 && dwOffset >= kFirstSlot && dwOffset < dwEnd &&
           (dwOffset - kFirstSlot) % static_cast<std::uint32_t>(nSlotSize) == 0;
}

// Reads the whole slot at `dwOffset` into `pBuf` after checking that it is a slot of the file's
// slot area (F, when asked for, in *pEnd). False when it is not, or on a short read.
bool ReadSlot(CFile& f, int nSlotSize, std::uint32_t dwOffset, void* pBuf,
              std::uint32_t* pEnd = nullptr);

// The released-slot list as it stands at F: the stored count and the offsets the file holds
// (fewer than the count when the list runs past the end of the file).
struct FreeList {
    std::uint16_t wCount = 0;
    std::vector<std::uint32_t> offsets;
};
bool ReadFreeList(CFile& f, std::uint32_t dwEnd, FreeList& list);

// Writes `pRecord` (nSlotSize bytes) into the slot released last, or appends it to the slot
// area. The slot's offset, or -1 (a damaged free list, a full file or an I/O error).
long long TakeSlot(CFile& f, const void* pRecord, int nSlotSize);
// Puts the slot at `dwOffset` on the released list; the record must already carry its deleted
// flag. False, with nothing written, when the offset is not a slot of the file or the list does
// not fit the file; false on an I/O error. A list that is full (its 16-bit count at 65,535)
// takes no more: the slot stays off it, deleted (a store check names it reclaimable), and the
// release succeeds.
bool ReleaseSlot(CFile& f, int nSlotSize, std::uint32_t dwOffset);
// Same, with F already read by the caller.
bool ReleaseSlotAt(CFile& f, int nSlotSize, std::uint32_t dwEnd, std::uint32_t dwOffset);

// A release in two steps, so that an operation touching several places can check them all
// before it writes any: PlanRelease reads and checks (as ReleaseSlotAt), CommitRelease writes.
struct ReleasePlan {
    std::uint32_t dwEnd = 0;
    std::uint16_t wCount = 0;
    std::uint32_t dwOffset = 0;
    bool bListFull = false;  // the slot stays off the list; nothing is written
};
constexpr std::uint16_t kMaxFreeCount = 0xFFFF;
bool PlanRelease(CFile& f, int nSlotSize, std::uint32_t dwEnd, std::uint32_t dwOffset,
                 ReleasePlan& plan);
bool CommitRelease(CFile& f, const ReleasePlan& plan);

// Visits every slot of [40, F) in order, reading the file in large blocks. `visit` gets the
// slot's offset, its bytes and how many of them the file held (fewer only when the file ends
// early); it returns false to stop. False when F cannot be read.
bool WalkSlots(CFile& f, int nSlotSize,
               const std::function<bool(std::uint32_t, const unsigned char*, std::size_t)>& visit);

// Hands out single slots of one record file by offset, reading the file in large blocks: for a
// caller that looks at many slots, mostly in slot order, without walking the whole file. F is
// read once, at the first look. A slot lies on an even offset of the block, so a record of
// 2-byte packing may be read in place.
class CSlotReader {
public:
    CSlotReader(CFile& f, int nSlotSize) : m_file(f), m_nSlotSize(nSlotSize) {}
    CSlotReader(const CSlotReader&) = delete;
    CSlotReader& operator=(const CSlotReader&) = delete;

    // The bytes of the slot at `dwOffset` and in `nAvail` how many of them the file held (fewer
    // than the slot size only when the file ends inside it); valid until the next call. Null
    // when the offset is not a slot of [40, F) or F cannot be read.
    const unsigned char* Slot(std::uint32_t dwOffset, std::size_t& nAvail);

private:
    static constexpr std::size_t kBlockBytes = 128 * 1024;

    CFile& m_file;
    const int m_nSlotSize;
    bool m_bEndRead = false;
    std::uint32_t m_dwEnd = 0;                 // F, 0 when unreadable
    std::uint32_t m_dwStart = 0;               // file offset of the block's first byte
    std::size_t m_nLen = 0;                    // bytes of the block read from the file
    std::unique_ptr<unsigned char[]> m_block;  // kBlockBytes, not cleared between reads
};

// A scratch record of kind T: reset, then the bytes the file held.
template <class T>
T ScratchFrom(const unsigned char* p, std::size_t nAvail) {
    T rec{};
    rec.Reset();
    std::memcpy(static_cast<void*>(&rec), p, nAvail < sizeof rec ? nAvail : sizeof rec);
    return rec;
}

}  // namespace tagfile

#pragma pack(push, 2)

// One tag of a source, in that source's index file.
struct TagIndexEntry {
    char szName[32];             // copied from the record's szName
    std::uint8_t byArea;         // low 8 bits of nArea
    std::uint8_t byRegion;       // low 8 bits of nRegion
    std::uint8_t bySourceFlags;  // low nibble: source; high nibble: 1 when deleted
    std::uint8_t byReserved;     // not set, not read
    std::uint32_t dwTypeOffset;  // bits 28..31 data type, bits 0..27 record offset

    int Type() const { return static_cast<int>(dwTypeOffset >> 28); }
    std::uint32_t RecordOffset() const { return dwTypeOffset & tagfile::kMaxRecordOffset; }
    int Source() const { return bySourceFlags & 0x0F; }
    bool IsDeleted() const { return (bySourceFlags >> 4) != 0; }
    void Reset() { std::memset(static_cast<void*>(this), 0, sizeof *this); }
    static std::uint32_t PackTypeOffset(int nType, std::uint32_t dwOffset) {
        return (static_cast<std::uint32_t>(nType) << 28) | (dwOffset & tagfile::kMaxRecordOffset);
    }
};

#pragma pack(pop)

static_assert(sizeof(TagIndexEntry) == 40);
static_assert(offsetof(TagIndexEntry, byArea) == 32 && offsetof(TagIndexEntry, byRegion) == 33 &&
              offsetof(TagIndexEntry, bySourceFlags) == 34 &&
              offsetof(TagIndexEntry, byReserved) == 35 &&
              offsetof(TagIndexEntry, dwTypeOffset) == 36);

namespace tagfile {

// Whether a slot holds a live record: the kind's deleted flag is not set.
template <class T>
bool IsLive(const T& rec) {
    return rec.wDeleted != 1;
}
inline bool IsLive(const TagIndexEntry& e) {
    return !e.IsDeleted();
}

// The entry as the live entry of `strName` in the index of source `nSource`: not deleted, of
// that source, of a tag type, and named so (the name field is at most 31 bytes).
bool IsLiveEntryOf(const TagIndexEntry& e, int nSource, std::string_view name);

// Why an entry cannot be taken as a name's live tag.
enum class EntryFault {
    kNone,
    kNoEntry,           // not a slot of the index, or not the live entry of that name
    kNoRecordFile,      // the typed file of its type is not open
    kRecordOutOfRange,  // its record offset is not a slot of the typed file
    kRecordOtherName,   // its record is another tag's
    kRecordDeleted,     // its record is released
};
// Reads and checks the entry at `dwEntry` of the index of `nSource` as the live entry of
// `strName`, and the record it names, in the typed file `typedFile(type)` returns, as a live
// record of that name. `entry` (and `*pRecord` when given) hold what was read.
EntryFault ReadNamedEntry(CFile& index, int nSource, std::uint32_t dwEntry, const CString& strName,
                          const std::function<CFile*(int)>& typedFile, TagIndexEntry& entry,
                          memtag::AnyTagRecord* pRecord = nullptr);

// Live records of kind T in slot order: `fn(offset, record)` returns false to stop. False when
// the file's F cannot be read.
template <class T, class Fn>
bool WalkLive(CFile& f, Fn&& fn) {
    return WalkSlots(f, sizeof(T),
                     [&](std::uint32_t dwOffset, const unsigned char* p, std::size_t nAvail) {
                         const T rec = ScratchFrom<T>(p, nAvail);
                         return IsLive(rec) ? fn(dwOffset, rec) : true;
                     });
}

}  // namespace tagfile
