// CTagArea and CTagRegion: the area ("data group") and region ("data partition") records that
// tags are grouped by. Plain values without virtual operations; a host receives them through
// the pointer forms of GetAllAreaInfo / GetAllRegionInfo and owns (deletes) what it receives.
// Texts are GB2312 bytes.
#pragma once

#include "Arrays.h"
#include "CString.h"
#include "WinTypes.h"

class CTagArea {
public:
    DWORD nArea = 0;  // area number, as tags carry it
    CString strName;  // short name
    CString strDesc;  // shown in the tag page's area list
};

class CTagRegion {
public:
    DWORD nArea = 0;    // the area the region belongs to
    DWORD nRegion = 0;  // region number, as tags carry it
    CString strName;    // shown in the tag page's region list
    CString strDesc;    // free text
};

using CTagAreaArray = CArray<CTagArea*, CTagArea*>;
using CTagRegionArray = CArray<CTagRegion*, CTagRegion*>;
using CTagRegionGroupArray = CArray<CTagRegionArray*, CTagRegionArray*>;
