// IPageHost: what a browser page may ask of the sheet that holds it: the store's listings it
// shows, and where the user's pick goes. The sheet implements it; a page knows nothing more of
// the sheet. User-interface thread only.
#pragma once

#include "Arrays.h"
#include "CString.h"
#include "TagRecords.h"

class IPageHost {
public:
    virtual int GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName,
                               CStringArray& arrDesc) = 0;
    virtual int GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo,
                                 CStringArray& arrName, CStringArray& arrDesc) = 0;
    // Every live tag of the data source, Brakk first.
    virtual int GetAllTags(CArray<CMemTag, CMemTag&>& arr, int nSource) = 0;
    virtual int GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource) = 0;
    virtual int GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource) = 0;
    virtual int GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource) = 0;

    // Which page's record the user picked last: 1 tag, 2 event, 3 task, 4 struct object.
    virtual void SetSelectKind(int nKind) = 0;
    // Closes the browser with `nResult` (IDOK after a pick).
    virtual void EndBrowser(int nResult) = 0;

protected:
    ~IPageHost() = default;
};
