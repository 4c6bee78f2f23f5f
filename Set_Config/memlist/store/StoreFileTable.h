// CStoreFileTable: how the store's files are laid out in the engine's file table, by kind and
// source. Names only; the engine opens and owns the files.
#pragma once

#include "CString.h"
#include "File.h"
#include "TagIndex.h"

// One slot of the file table. The engine owns pFile; copies handed out do not.
struct TempFileSlot {
    CString strName;
    int nOpen = 0;           // nonzero while the file is open
    CFile* pFile = nullptr;  // null when closed
};

class CStoreFileTable {
public:
    // File table slots: index files, then Bool, Int, Float, String, Task, Event, Struct files.
    static constexpr int kSlotCount = 16;
    static constexpr int kKindIndex = tagfile::kKindIndex;
    static constexpr int kKindTask = tagfile::kKindTask;
    static constexpr int kKindEvent = tagfile::kKindEvent;
    static constexpr int kKindStruct = tagfile::kKindStruct;
    // The slot of a kind (0 index, 1..4 tag types, 5 task, 6 event, 7 struct) and a source 1 or
    // 2, or -1.
    static int SlotOf(int nKind, int nSource);
    static const char* SlotFileName(int nSlot);
    static constexpr const char* kBrakkTreeName = "TmpBRKTagIndex.bpt";
    static constexpr const char* kZuZirTreeName = "TmpBRTaskTagIndex.bpt";

protected:
    CStoreFileTable() = default;
};
