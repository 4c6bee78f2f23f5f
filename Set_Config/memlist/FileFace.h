// CFileFace: the tag store facade, the single entry point of the store.
//
// Owns the engine. Every data operation sets the engine's current codes, runs its checks in a
// fixed order, calls one engine operation and turns a failure into a message in the error file.
#pragma once

#include "Arrays.h"
#include "CString.h"

class CFileDypass;

class CFileFace {
public:
    // Builds the engine, which resolves its directory and opens the file set.
    CFileFace();
    virtual ~CFileFace();
    CFileFace(const CFileFace&) = delete;
    CFileFace& operator=(const CFileFace&) = delete;

    int AddError(CString& strMsg);
    int GetErrStringArray(CStringArray& arr);
    int RemoveErrorFile();

    // The engine, for the sheet's and the interface's direct readers; null only if it could
    // not be built.
    CFileDypass* GetEngine() const { return m_pDypass; }

private:
    CFileDypass* m_pDypass = nullptr;
};
