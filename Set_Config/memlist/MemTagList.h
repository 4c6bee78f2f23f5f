// CMemTagList: the one class a host uses.
//
// Constructing it builds the whole store: the engine finds its temporary directory through the
// path service ("QLX_PATH_D_TEMP"), creates it and opens the file set. A relative directory is
// taken against the current directory of that moment and kept as an absolute path. Creating
// the directory changes the process's current directory: it moves into each directory it
// creates, so after a store made a new directory the process stands in it. Every member forwards to
// the tag-list sheet and returns its result unchanged; failures come back as the status (1
// success; -1, or 0 where a member says so, for failure) and as GB2312 lines in the store's error
// file "TempErrFile.txt", read back with GetErrStringArray. A list whose store could not be
// built (memory exhausted) answers every member as a store without a directory does: writes
// fail, look-ups find nothing, listings and the caller's output arrays come back empty.
//
// Records and codes: TagRecords.h. Areas and regions: TagAreaRegion.h. Data types 1 boolean,
// 2 integer, 3 real, 4 string; data sources 1 ZuZir, 2 Brakk (0 both, for listings).
//
// Copies share one sheet; the sheet (and with it the store) is destroyed with the last copy.
// Call from one thread (the host's user-interface thread). Nothing throws out of any member:
// an internal failure, memory exhaustion included, is reported as the member's failure result.
#pragma once

#include <memory>

#include "Arrays.h"
#include "CString.h"
#include "TagAreaRegion.h"
#include "TagRecords.h"
#include "WinTypes.h"

#define MEMLIST_API __attribute__((visibility("default")))

class CMemTagShowSheet;

class MEMLIST_API CMemTagList {
public:
    // A sheet captioned "显示位号" with no parent (or the given one), start page 0.
    CMemTagList();
    explicit CMemTagList(CWnd* pParent);
    CMemTagList(const CMemTagList& other);
    CMemTagList& operator=(const CMemTagList& other);
    virtual ~CMemTagList();

    // --- adding -----------------------------------------------------------------------------
    // nType: 1..4 and pData the matching record; nSource 1 or 2; strStructType empty for a plain
    // tag, else a name beginning with '#'. The record is stored as given (its own type field
    // is not looked at); exactly the record size of nType is read from pData.
    int AddData(int nType, int nSource, void* pData, CString strStructType);
    int AddStruct(int nSource, StructObject_Info* p);
    int AddEvent(int nSource, Thing_Info* p);
    int AddTask(int nSource, Task_Info* p);

    // --- deleting ---------------------------------------------------------------------------
    int DelData(int nType, int nSource, void* pData);
    int DelData(const CString& strName);
    int DelStruct(int nSource, StructObject_Info* p);
    int DelStruct(int nSource, const CString& strName);
    int DelEvent(int nSource, Thing_Info* p);
    int DelEvent(int nSource, const int& nNo);
    int DelTask(int nSource, Task_Info* p);
    int DelTask(int nSource, const int& nNo);

    // --- changing -----------------------------------------------------------------------------
    // The tag keeps its stored type, source and slots; pData holds a record of nType, or with
    // nType 0 of the stored type. A record shorter than the stored one keeps the stored bytes
    // beyond it.
    int ModifyData(int nType, int nSource, void* pData, CString strOldName, CString strStructType);
    int ModifyStruct(int nSource, StructObject_Info* p, CString strOldName);
    int ModifyEvent(int nSource, Thing_Info* p, int nOldNo);
    int ModifyTask(int nSource, Task_Info* p, int nOldNo);

    // --- queries -----------------------------------------------------------------------------
    int GetSpecyStructObj(const CString& strType, CArray<StructObject_Info, StructObject_Info>& arr,
                          int nSource);
    int GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource);
    // pData must hold the record of idx.nDataType (538, 1006, 1022 or 310 bytes).
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData);
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag);
    // Nonzero when the name is a live tag of the Brakk (ZuZir) source.
    int JustTagFromBRK(CString strName);
    int JustTagFromRMP(CString strName);
    // A user's name to a record: "事件N", "任务N", a struct object's bare name, or a tag name.
    // 0 at once for an empty name.
    int GetSelute(CString strName, CMemTag& tag);

    // --- the file set -------------------------------------------------------------------------
    int RemoveAllBRKFile(int nScope);
    int RemoveAllRMPFile(int nScope);
    int BackupAsOldFile(int nSource);
    int RecoverWithOldFile(int nSource);
    // Moves the store to another directory (relative: against the current directory of this
    // moment); 0 at once for an empty path. Like construction, it changes the process's current
    // directory when it creates directories.
    int SetConfigureFilePath(const CString& strPath);

    // --- error file ---------------------------------------------------------------------------
    // Append one message (nonzero if the file could be opened), read the messages back
    // (nonzero if it could be opened), delete the file (1).
    int AddError(CString& strMsg);
    int GetErrStringArray(CStringArray& arr);
    int RemoveErrorFile();

    // --- areas and regions -------------------------------------------------------------------
    int GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName, CStringArray& arrDesc);
    int GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo, CStringArray& arrName,
                         CStringArray& arrDesc);
    // Deep copies the caller owns: the array is emptied (old pointers not freed) and filled with
    // newly allocated records (and, for regions, one new inner array per area). 1.
    int GetAllAreaInfo(CTagAreaArray* pAreas);
    int GetAllRegionInfo(CTagRegionGroupArray* pRegions);
    // Kept for hosts that call them: they change nothing and return 1.
    int AddAreaRegionInfo(CTagAreaArray* pAreas, CTagRegionGroupArray* pRegions);
    int RemoveAllInfo();

    // --- the browser ---------------------------------------------------------------------------
    // Which pages the browser shows: tags, events, tasks, struct objects. 1 if any.
    int SetShowPage(int nTag, int nEvent, int nTask, int nStruct);
    int SetTagShowType(int n1, int n2, int n3, int n4);  // accepted and ignored: 1
    int SetShowDataFrom(int nSource);
    // Preselects a tag name in the browser.
    void InputTagName(CString strName);
    // Runs the browser modally: IDOK (1), IDCANCEL (2), or -1 when it cannot be shown.
    int DoModal();
    // What the user picked at the last OK.
    int GetSelectedTagInfo(CMemTag& tag);
    void GetSelectedTags(CStringArray& arr);

private:
    std::shared_ptr<CMemTagShowSheet> m_pSheet;
};
