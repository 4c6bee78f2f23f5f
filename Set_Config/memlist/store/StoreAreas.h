// CStoreAreas: the plant's areas and their regions, read from the area file each time the set
// is opened. A store without the file has an empty list.
#pragma once

#include <memory>

#include "Arrays.h"
#include "CString.h"
#include "TagAreaRegion.h"

class CAreaRegionList;
class CDirkeeperInterface;
class CStoreErrorFile;

class CStoreAreas {
public:
    // Empty the arrays and list every area (number, name, description), or every region of
    // every area (area number, region number, name, description), in list order. 1; 0 when
    // there is no list.
    int GetAllAreaInfo(CDWordArray& arrAreaNo, CStringArray& arrName, CStringArray& arrDesc);
    int GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo, CStringArray& arrName,
                         CStringArray& arrDesc);
    // Newly allocated copies, owned by the caller (the caller's arrays are emptied first,
    // without deleting). 1; 0 when there is no list.
    int CopyAreas(CTagAreaArray* pAreas);
    int CopyRegions(CTagRegionGroupArray* pGroups);

protected:
    // The area file is looked for in `strAreaInfoDir`, or through the path service when that is
    // empty.
    explicit CStoreAreas(const CString& strAreaInfoDir);
    ~CStoreAreas();
    CStoreAreas(const CStoreAreas&) = delete;
    CStoreAreas& operator=(const CStoreAreas&) = delete;
    // Reads the list anew; a file beyond the reader's bounds is told in `errors`.
    void LoadAreaRegions(CDirkeeperInterface& dirKeeper, CStoreErrorFile& errors);

private:
    std::unique_ptr<CAreaRegionList> m_pAreaList;
    CString m_strAreaInfoDir;  // empty: asked of the path service
};
