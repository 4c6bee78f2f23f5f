// CStoreItems: tasks, events and struct objects, kept in plain record files of each source and
// walked for every search. The owner gives the files and the source's write lock; the calls
// that change a file take that lock themselves.
#pragma once

#include <functional>

#include "StoreCodes.h"
#include "TagRecords.h"

class CStoreItems : public CStoreCodes {
public:
    // Of the current source (1 or 2). Add: the record's slot offset, or -1.
    int AddTask(Task_Info* pTask);
    int AddEvent(Thing_Info* pEvent);
    int AddStruct(StructObject_Info* pStruct);
    // Change the first live record numbered `nNo` (named `strName`): 1, or -1 ("未找到所要修改的
    // 任务:任务%d;" for a task only).
    int ModifyTask(Task_Info* pNew, int nNo);
    int ModifyEvent(Thing_Info* pNew, int nNo);
    int ModifyStruct(StructObject_Info* pNew, const CString& strName);
    // Delete the first live record numbered `nNo`: 1, or -1 with "未找到所要删除的任务:任务%d;" /
    // "未找到所要删除的事件:事件%d;".
    int DelTask(int nNo);
    int DelEvent(int nNo);
    // Deletes every live struct object named `strName`; 1 whether or not there was one
    // (-1 only without a usable file).
    int DelStruct(const CString& strName);
    // An event or task as a tag ("事件%d" / "任务%d", type 5 / 6), ZuZir first: 1 and `tag`
    // filled (name, description, user word, type, source, area = group), or 0 untouched.
    int FindEvent(int nNo, CMemTag& tag);
    int FindTask(int nNo, CMemTag& tag);
    // The struct type of object `strName`, Brakk first: 1, or 0 (`strType` emptied).
    int FindStructType(const CString& strName, CString& strType);
    // Every live struct object of type `strType` of the source (0: Brakk then ZuZir). 1 when a
    // file was walked, else 0.
    int GetSpecyStructObj(const CString& strType, CArray<StructObject_Info, StructObject_Info>& arr,
                          int nSource);
    // Every live event / task / struct object of the source (0: Brakk then ZuZir), in slot
    // order, as CMemTag (events and tasks named by their bare number).
    void GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource);
    void GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource);
    void GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource);

protected:
    CStoreItems() = default;
    // Writes a record into a slot of the file of `nKind` (a tag type or tagfile::kKind*) of
    // `nSource`: the slot's offset, or -1.
    int AddRecord(int nKind, int nSource, const void* pRecord, int nSize);

    // What the owner gives. Whether the store has a directory.
    virtual bool HasDirectory() const = 0;
    // The file of `nKind` of source 1 or 2 when it is open and usable, else null.
    virtual CFile* ItemFile(int nKind, int nSource) const = 0;
    // `fn(file)` for the file of `nKind` of `nSource`, under that source's write lock; -1
    // without the file or the lock.
    virtual int UnderWriteLock(int nKind, int nSource, const std::function<int(CFile&)>& fn) = 0;

private:
    // Overwrites the first live record `match` accepts; a missing one reports `pszNotFound`
    // (when given) with `nNo`.
    template <class T, class Match>
    int ModifyFirst(int nKind, int nSource, const T* pNew, const Match& match,
                    const char* pszNotFound, int nNo);
    template <class T>
    int DelNumbered(int nKind, int nSource, int nNo, const char* pszNotFound);
    // The first live record numbered `nNo`, ZuZir's first, as a tag named by `pszNameFormat`.
    template <class T>
    int FindNumbered(int nKind, int nType, const char* pszNameFormat, int nNo, CMemTag& tag);
    // `fn(record)` for each live record of `nKind` in the files of the sources `nSource` names,
    // after making it the current source. Whether any file was walked.
    template <class T, class Fn>
    bool WalkListed(int nKind, int nSource, Fn&& fn);
    template <class T>
    void ListNumbered(int nKind, int nType, CArray<CMemTag, CMemTag&>& arr, int nSource);
};
