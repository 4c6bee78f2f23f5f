// The store's file names by slot.
#include "StoreFileTable.h"

#include "TagRecords.h"

namespace {

constexpr const char* kSlotNames[CStoreFileTable::kSlotCount] = {
    "TmpBrakkTagIndex.idx",      "TmpBrakkBoolTagInfo.tag",   "TmpBrakkIntTagInfo.tag",
    "TmpBrakkFloatTagInfo.tag",  "TmpBrakkStringTagInfo.tag", "TmpBrakkTaskTagInfo.tag",
    "TmpBrakkEventTagInfo.tag",  "TmpBrakkStructTagInfo.tag", "TmpZuzirTagIndex.idx",
    "TmpZuZirBoolTagInfo.tag",   "TmpZuZirIntTagInfo.tag",    "TmpZuZirFloatTagInfo.tag",
    "TmpZuZirStringTagInfo.tag", "TmpZuzirTaskTagInfo.tag",   "TmpZuzirEventTagInfo.tag",
    "TmpZuZirStructTagInfo.tag",
};

}  // namespace

int CStoreFileTable::SlotOf(int nKind, int nSource) {
    if (nKind < 0 || nKind > kKindStruct)
        return -1;
    if (nSource == memtag::kSourceBrakk)
        return nKind;
    if (nSource == memtag::kSourceZuZir)
        return tagfile::kKindCount + nKind;
    return -1;
}

const char* CStoreFileTable::SlotFileName(int nSlot) {
    return nSlot >= 0 && nSlot < kSlotCount ? kSlotNames[nSlot] : "";
}
