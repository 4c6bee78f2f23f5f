// CFileFace: the tag store facade, the way in for every data operation of the store.
//
// Owns the engine for its whole life: a facade that cannot build its engine (memory exhausted)
// throws from its constructor, so a facade never lacks one. Every data operation first sets the
// engine's current data type, data source and struct type, runs the engine's checks in a fixed
// order (a failed check stops the operation before any file is touched), then calls one engine
// operation and turns its failure into one GB2312 message appended to the error file
// "TempErrFile.txt". Results: 1 success, -1 failure, except where a member says otherwise.
// Nothing else throws; no state is kept between calls beyond the engine's current codes, which
// every operation sets before use.
#pragma once

#include <memory>

#include "Arrays.h"
#include "CString.h"
#include "TagRecords.h"

class CFileDypass;

class CFileFace {
public:
    // Builds the engine, which resolves its directory and opens the file set.
    CFileFace();
    // The store in `strDir` (read-only as CFileDypass's directory constructor says), with the
    // area/region list loaded from `strAreaInfoDir` (through the path service when empty).
    CFileFace(const CString& strDir, bool bReadOnly, const CString& strAreaInfoDir);
    virtual ~CFileFace();
    CFileFace(const CFileFace&) = delete;
    CFileFace& operator=(const CFileFace&) = delete;

    // --- tags -------------------------------------------------------------------------------
    // Adds a typed tag record (nType 1..4 picks the record kind) to source nSource (1 or 2).
    // A non-empty strStructType must begin with '#'.
    int AddData(int nType, int nSource, void* pData, CString strStructType);
    // Changes the tag named strOldName to pNew (which may rename it); the tag keeps its stored
    // type, source and slots. Entry and record change under one hold of the source's write
    // lock; on -1 neither has changed. -1 without a message when strOldName is empty.
    int ModifyData(int nType, int nSource, void* pNew, CString strOldName, CString strStructType);
    // Deletes the tag named by the record's szName (after checking nType and nSource).
    int DelData(int nType, int nSource, void* pData);
    // Deletes the tag (or struct member) of that name, Brakk first: the engine's result.
    int DelData(const CString& strName);

    // --- struct objects, events, tasks ----------------------------------------------------
    int AddStruct(int nSource, StructObject_Info* p);
    int AddEvent(int nSource, Thing_Info* p);
    int AddTask(int nSource, Task_Info* p);
    // Delete by record (its szObjName / nNo) or by name / number. DelStruct returns 1 once the
    // checks pass, whether or not an object was found.
    int DelStruct(int nSource, StructObject_Info* p);
    int DelStruct(int nSource, const CString& strName);
    int DelEvent(int nSource, Thing_Info* p);
    int DelEvent(int nSource, const int& nNo);
    int DelTask(int nSource, Task_Info* p);
    int DelTask(int nSource, const int& nNo);
    // ModifyStruct returns the engine's result (1 changed, -1 not found or failed).
    int ModifyStruct(int nSource, StructObject_Info* pNew, CString strOldName);
    int ModifyEvent(int nSource, Thing_Info* pNew, int nOldNo);
    int ModifyTask(int nSource, Task_Info* pNew, int nOldNo);

    // --- queries (the engine's results) -----------------------------------------------------
    // Resolves a user's name: "事件N" / "任务N" give event / task N; a struct object's bare name
    // gets ".VAL" (#AISM), ".PV" (#LOOP, #USERLOOP) or ".MV" (#PAT); then the tag by name.
    // 1 found, 0 not (an empty name gives 0 at once).
    int GetSelute(CString strName, CMemTag& tag);
    // The same resolution on any engine (a read-only one included), for tools.
    static int ResolveSelute(CFileDypass& engine, const CString& strName, CMemTag& tag);
    int JustTagFromBRK(CString strName);
    int JustTagFromRMP(CString strName);
    int GetSpecyStructObj(const CString& strType, CArray<StructObject_Info, StructObject_Info>& arr,
                          int nSource);
    int GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource);
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData);
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag);
    int GetAllTags(CArray<CMemTag, CMemTag&>& arr, int nSource);
    int GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource);         // 1
    int GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource);          // 1
    int GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource);  // 1

    // --- the file set -------------------------------------------------------------------------
    // Empty a source's files (scope 0, 1 or 2; 2 also empties the Brakk events, tasks and
    // structs). 0 with "指定的数据来源未定义！" for any other scope, else 1.
    int RemoveAllBRKFile(int nScope);
    int RemoveAllRMPFile(int nScope);
    int BackupAsOldFile(int nSource);
    int RecoverWithOldFile(int nSource);
    int SetConfigureFilePath(const CString& strPath);

    // --- error file ---------------------------------------------------------------------------
    int AddError(CString& strMsg);
    int GetErrStringArray(CStringArray& arr);
    int RemoveErrorFile();

    // --- areas and regions -------------------------------------------------------------------
    // Empty the arrays, then list every area (number, name, description) / every region of
    // every area in list order (area number, region number, name, description).
    int GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName, CStringArray& arrDesc);
    int GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo, CStringArray& arrName,
                         CStringArray& arrDesc);

    // The engine itself, for readers the facade does not wrap (the area/region copies handed
    // to the host); they only read. Never null.
    CFileDypass* GetEngine() const { return m_pDypass.get(); }

private:
    // Removes one source's files (nScope 0 or 1) or both (2) with `remove`: its result; 0 for
    // another scope.
    int RemoveFilesOf(int nScope, int (CFileDypass::*remove)(int));

    std::unique_ptr<CFileDypass> m_pDypass;
};
