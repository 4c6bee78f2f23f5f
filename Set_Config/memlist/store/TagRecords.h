// The records and codes of the tag store, as hosts pass them and as the store files keep them.
//
// Every record except CMemTag is a file format as well as an in-memory type: packed on 2-byte
// boundaries, little-endian, every named field at a fixed offset (checked below at compile
// time), so a file written by one build reads the same in another. Fields the store does not
// interpret are host-defined; they are named after their offset and kept byte for byte.
// CMemTag holds CStrings: its layout is the platform's and it is never written to a file.
//
// Codes: data types 0 (none/all), 1 boolean, 2 integer, 3 real, 4 string, 5 event, 6 task,
// 7 struct object; data sources 0 (both), 1 ZuZir (RMP), 2 Brakk (BRK, the configuration tool).
// Tag names are at most 31 bytes of GB2312 text, zero-terminated in 32-byte fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CString.h"
#include "WinTypes.h"

namespace memtag {

// Data type codes.
constexpr int kTypeNone = 0;  // no type / all tag types; no tag file belongs to it
constexpr int kTypeBool = 1;
constexpr int kTypeInt = 2;
constexpr int kTypeFloat = 3;
constexpr int kTypeString = 4;
constexpr int kTypeEvent = 5;   // only in CMemTag::nDataType
constexpr int kTypeTask = 6;    // only in CMemTag::nDataType
constexpr int kTypeStruct = 7;  // only in CMemTag::nDataType

// Data source codes.
constexpr int kSourceBoth = 0;
constexpr int kSourceZuZir = 1;
constexpr int kSourceBrakk = 2;

// Longest tag name the store keeps whole, and the width of its field.
constexpr int kTagNameMax = 31;
constexpr int kTagNameField = 32;

constexpr bool IsTagType(int nType) {
    return nType >= kTypeBool && nType <= kTypeString;
}
constexpr bool IsSource(int nSource) {
    return nSource == kSourceZuZir || nSource == kSourceBrakk;
}

}  // namespace memtag

// The result record of tag, event, task and struct-object look-ups.
class CMemTag {
public:
    int nUserWord = -1;     // host word: tag word at 0, task/event word at 68, 0 for structs
    int nArea = 0;          // area (tags), data group (events, tasks), 0 (structs)
    int nRegion = 0;        // region (tags), 0 (structs)
    int nDataType = 0;      // 1..7
    WORD nDataSource = 0;   // 1 or 2
    CString strName;        // tag name, "事件%d"/"任务%d" (bare "%d" in listings), object name
    CString strDesc;        // description; the struct type name for a struct object
    CString strUnit;        // engineering unit of integer and real tags
    double dRangeHigh = 0;  // range upper limit of integer and real tags
    double dRangeLow = 0;   // range lower limit of integer and real tags
    int nTrend = 0;         // 1 when the tag is in the trend database
    int nTailWord = 0;      // last word of boolean, integer and real records; 0 for strings
};

#pragma pack(push, 2)

// One tag as the index knows it; passed by value.
struct _INDEX_STRUCT {
    std::int32_t nDataType;    // 1..4
    std::int32_t nDataSource;  // 1 or 2
    std::int32_t nOffset;      // record offset in its typed tag file, at most 0x0FFFFFFF
    std::int32_t nArea;        // 0..255
    std::int32_t nRegion;      // 0..255
};

// An event (Thing_Info) or a task (Task_Info): one layout, 78 bytes.
struct Thing_Info {
    std::int32_t nNo;  // the key of look-up, change and delete
    char szDesc[64];
    std::int32_t nUserWord;  // host-defined
    std::uint8_t byDataSource;
    std::uint8_t byHost73;   // host-defined, kept by Reset
    std::uint16_t wGroup;    // data group
    std::uint16_t wDeleted;  // 1 = released slot

    // Before every read into a scratch record: keeps nNo and byte 73.
    void Reset() {
        std::memset(szDesc, 0, sizeof szDesc);
        nUserWord = 0;
        byDataSource = 1;
        wGroup = 0;
        wDeleted = 0;
    }
};

struct Task_Info {
    std::int32_t nNo;
    char szDesc[64];
    std::int32_t nUserWord;
    std::uint8_t byDataSource;
    std::uint8_t byHost73;
    std::uint16_t wGroup;
    std::uint16_t wDeleted;

    void Reset() {
        std::memset(szDesc, 0, sizeof szDesc);
        nUserWord = 0;
        byDataSource = 1;
        wGroup = 0;
        wDeleted = 0;
    }
};

struct StructObject_Info {
    char szObjName[24];  // the key of look-up, change and delete
    char szStructType[32];
    std::uint16_t wDeleted;
    std::uint8_t byHost58;  // host-defined; 1 after Reset
    std::uint8_t byDataSource;

    void Reset() {
        std::memset(szObjName, 0, sizeof szObjName);
        std::memset(szStructType, 0, sizeof szStructType);
        wDeleted = 0;
        byHost58 = 1;
        byDataSource = 2;
    }
};

// The 242-byte head shared by the four typed tag records.
#define MEMTAG_TAG_HEAD_FIELDS \
    std::int32_t nUserWord;    \
    char szName[32];           \
    char szDesc[64];           \
    std::int32_t nHost100;     \
    std::int32_t nDataType;    \
    std::int32_t nArea;        \
    std::int32_t nRegion;      \
    char szHost116[32];        \
    std::uint16_t wDeleted;    \
    std::int32_t nHost150[2];  \
    char szHost158[2][32];     \
    std::int32_t nHost222[2];  \
    std::int32_t nTrend;       \
    std::int32_t nHost234[2]

struct BoolTagInfo {
    MEMTAG_TAG_HEAD_FIELDS;
    char szHost242[64];
    char szHost306[64];
    std::int32_t nHost370[3];
    char szHost382[64];
    std::int32_t nHost446[4];  // [1] (offset 450) is -1 after Reset
    char szHost462[64];
    std::int32_t nHost526[2];
    std::int32_t nTailWord;

    static constexpr int kType = memtag::kTypeBool;
    void Reset() {
        std::memset(static_cast<void*>(this), 0, sizeof *this);
        nDataType = kType;
        nHost446[1] = -1;
    }
};

struct IntTagInfo {
    MEMTAG_TAG_HEAD_FIELDS;
    std::int32_t nRangeHigh;
    std::int32_t nRangeLow;
    char szUnit[16];
    std::int32_t nHost266[7];
    char szHost294[64];
    std::int32_t nHost358[3];
    char szHost370[64];
    std::int32_t nHost434[3];
    char szHost446[64];
    std::int32_t nHost510[3];
    char szHost522[64];
    std::int32_t nHost586[7];
    char szHost614[64];
    std::int32_t nHost678[3];
    char szHost690[64];
    std::int32_t nHost754[3];
    char szHost766[64];
    std::int32_t nHost830[6];
    char szHost854[64];
    std::int32_t nHost918[3];
    char szHost930[64];
    std::int32_t nHost994[2];
    std::int32_t nTailWord;

    static constexpr int kType = memtag::kTypeInt;
    void Reset() {
        std::memset(static_cast<void*>(this), 0, sizeof *this);
        nDataType = kType;
    }
};

struct FloatTagInfo {
    MEMTAG_TAG_HEAD_FIELDS;
    double dRangeHigh;
    double dRangeLow;
    char szUnit[16];
    std::int32_t nHost274[9];
    char szHost310[64];
    std::int32_t nHost374[3];
    char szHost386[64];
    std::int32_t nHost450[3];
    char szHost462[64];
    std::int32_t nHost526[3];
    char szHost538[64];
    std::int32_t nHost602[7];
    char szHost630[64];
    std::int32_t nHost694[3];
    char szHost706[64];
    std::int32_t nHost770[3];
    char szHost782[64];
    std::int32_t nHost846[6];
    char szHost870[64];
    std::int32_t nHost934[3];
    char szHost946[64];
    std::int32_t nHost1010[2];
    std::int32_t nTailWord;

    static constexpr int kType = memtag::kTypeFloat;
    void Reset() {
        std::memset(static_cast<void*>(this), 0, sizeof *this);
        nDataType = kType;
    }
};

struct StringTagInfo {
    MEMTAG_TAG_HEAD_FIELDS;
    std::int32_t nHost242;
    char szHost246[64];

    static constexpr int kType = memtag::kTypeString;
    void Reset() {
        std::memset(static_cast<void*>(this), 0, sizeof *this);
        nDataType = kType;
    }
};

#undef MEMTAG_TAG_HEAD_FIELDS

#pragma pack(pop)

namespace memtag {

// Record size of a tag data type (1..4), 0 for any other code.
constexpr int TagRecordSize(int nType) {
    switch (nType) {
        case kTypeBool:
            return static_cast<int>(sizeof(BoolTagInfo));
        case kTypeInt:
            return static_cast<int>(sizeof(IntTagInfo));
        case kTypeFloat:
            return static_cast<int>(sizeof(FloatTagInfo));
        case kTypeString:
            return static_cast<int>(sizeof(StringTagInfo));
        default:
            return 0;
    }
}

// Room for a record of any of the four tag types; ResetAs gives it the reset of one of them
// (an unknown code resets it as a string record, the shortest).
union AnyTagRecord {
    BoolTagInfo b;
    IntTagInfo i;
    FloatTagInfo f;
    StringTagInfo s;

    void ResetAs(int nType) {
        std::memset(static_cast<void*>(this), 0, sizeof *this);
        switch (nType) {
            case kTypeBool:
                b.Reset();
                break;
            case kTypeInt:
                i.Reset();
                break;
            case kTypeFloat:
                f.Reset();
                break;
            default:
                s.Reset();
                break;
        }
    }
};

// Every tag record begins with the same head, so these reach a record of any of the four types.
constexpr std::size_t kTagNameOffset = 4;
constexpr std::size_t kTagTypeOffset = 104;
constexpr std::size_t kTagDeletedOffset = 148;

}  // namespace memtag

// The layouts are file formats: any change here breaks every store directory in use.
static_assert(sizeof(_INDEX_STRUCT) == 20);
static_assert(offsetof(_INDEX_STRUCT, nDataSource) == 4 && offsetof(_INDEX_STRUCT, nOffset) == 8 &&
              offsetof(_INDEX_STRUCT, nArea) == 12 && offsetof(_INDEX_STRUCT, nRegion) == 16);

static_assert(sizeof(Thing_Info) == 78 && sizeof(Task_Info) == 78);
static_assert(offsetof(Thing_Info, szDesc) == 4 && offsetof(Thing_Info, nUserWord) == 68 &&
              offsetof(Thing_Info, byDataSource) == 72 && offsetof(Thing_Info, byHost73) == 73 &&
              offsetof(Thing_Info, wGroup) == 74 && offsetof(Thing_Info, wDeleted) == 76);
static_assert(offsetof(Task_Info, szDesc) == 4 && offsetof(Task_Info, nUserWord) == 68 &&
              offsetof(Task_Info, byDataSource) == 72 && offsetof(Task_Info, byHost73) == 73 &&
              offsetof(Task_Info, wGroup) == 74 && offsetof(Task_Info, wDeleted) == 76);

static_assert(sizeof(StructObject_Info) == 60);
static_assert(offsetof(StructObject_Info, szStructType) == 24 &&
              offsetof(StructObject_Info, wDeleted) == 56 &&
              offsetof(StructObject_Info, byHost58) == 58 &&
              offsetof(StructObject_Info, byDataSource) == 59);

#define MEMTAG_CHECK_TAG_HEAD(T)                                                                   \
    static_assert(offsetof(T, szName) == memtag::kTagNameOffset && offsetof(T, szDesc) == 36 &&    \
                  offsetof(T, nHost100) == 100 &&                                                  \
                  offsetof(T, nDataType) == memtag::kTagTypeOffset && offsetof(T, nArea) == 108 && \
                  offsetof(T, nRegion) == 112 && offsetof(T, szHost116) == 116 &&                  \
                  offsetof(T, wDeleted) == memtag::kTagDeletedOffset &&                            \
                  offsetof(T, nHost150) == 150 && offsetof(T, szHost158) == 158 &&                 \
                  offsetof(T, nHost222) == 222 && offsetof(T, nTrend) == 230 &&                    \
                  offsetof(T, nHost234) == 234)
MEMTAG_CHECK_TAG_HEAD(BoolTagInfo);
MEMTAG_CHECK_TAG_HEAD(IntTagInfo);
MEMTAG_CHECK_TAG_HEAD(FloatTagInfo);
MEMTAG_CHECK_TAG_HEAD(StringTagInfo);
#undef MEMTAG_CHECK_TAG_HEAD

static_assert(sizeof(BoolTagInfo) == 538);
static_assert(offsetof(BoolTagInfo, szHost242) == 242 && offsetof(BoolTagInfo, szHost306) == 306 &&
              offsetof(BoolTagInfo, nHost370) == 370 && offsetof(BoolTagInfo, szHost382) == 382 &&
              offsetof(BoolTagInfo, nHost446) == 446 && offsetof(BoolTagInfo, szHost462) == 462 &&
              offsetof(BoolTagInfo, nHost526) == 526 && offsetof(BoolTagInfo, nTailWord) == 534);

static_assert(sizeof(IntTagInfo) == 1006);
static_assert(offsetof(IntTagInfo, nRangeHigh) == 242 && offsetof(IntTagInfo, nRangeLow) == 246 &&
              offsetof(IntTagInfo, szUnit) == 250 && offsetof(IntTagInfo, nHost266) == 266 &&
              offsetof(IntTagInfo, szHost294) == 294 && offsetof(IntTagInfo, nHost586) == 586 &&
              offsetof(IntTagInfo, nHost830) == 830 && offsetof(IntTagInfo, szHost930) == 930 &&
              offsetof(IntTagInfo, nHost994) == 994 && offsetof(IntTagInfo, nTailWord) == 1002);

static_assert(sizeof(FloatTagInfo) == 1022);
static_assert(offsetof(FloatTagInfo, dRangeHigh) == 242 &&
              offsetof(FloatTagInfo, dRangeLow) == 250 && offsetof(FloatTagInfo, szUnit) == 258 &&
              offsetof(FloatTagInfo, nHost274) == 274 && offsetof(FloatTagInfo, szHost310) == 310 &&
              offsetof(FloatTagInfo, nHost602) == 602 && offsetof(FloatTagInfo, nHost846) == 846 &&
              offsetof(FloatTagInfo, szHost946) == 946 &&
              offsetof(FloatTagInfo, nHost1010) == 1010 &&
              offsetof(FloatTagInfo, nTailWord) == 1018);

static_assert(sizeof(StringTagInfo) == 310);
static_assert(offsetof(StringTagInfo, nHost242) == 242 &&
              offsetof(StringTagInfo, szHost246) == 246);
