// CMemTagList: the one class a host uses.
//
// Constructing it builds the whole store: the engine finds its temporary directory through the
// path service ("QLX_PATH_D_TEMP"), creates it and opens the file set. Every member forwards to
// the tag-list sheet and returns its result unchanged; failures come back as the status and as
// GB2312 lines in the store's error file "TempErrFile.txt", read with GetErrStringArray.
//
// Copies share one sheet; the sheet (and with it the store) is destroyed with the last copy.
// Call from one thread (the host's user-interface thread). Nothing throws out of any member:
// an internal failure, memory exhaustion included, is reported as the member's failure result.
#pragma once

#include <memory>

#include "Arrays.h"
#include "CString.h"
#include "WinTypes.h"

#define MEMLIST_API __attribute__((visibility("default")))

class CMemTagShowSheet;

class MEMLIST_API CMemTagList {
public:
    CMemTagList();
    explicit CMemTagList(CWnd* pParent);
    CMemTagList(const CMemTagList& other);
    CMemTagList& operator=(const CMemTagList& other);
    virtual ~CMemTagList();

    // Error file: append one message (nonzero if the file could be opened), read the messages
    // back (nonzero if it could be opened), delete the file (1).
    int AddError(CString& strMsg);
    int GetErrStringArray(CStringArray& arr);
    int RemoveErrorFile();

private:
    std::shared_ptr<CMemTagShowSheet> m_pSheet;
};
