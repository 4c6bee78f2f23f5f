// CMemTagShowSheet: the coordinator behind CMemTagList. Owns the store facade and the browser
// pages; data calls pass straight through it to the facade, display calls go to the pages.
// Constructing it creates no window: windows exist only while DoModal runs.
#pragma once

#include "Arrays.h"
#include "CString.h"

class CFileFace;

class CMemTagShowSheet {
public:
    CMemTagShowSheet(const char* pszCaption, CWnd* pParent = nullptr, UINT iSelectPage = 0);
    virtual ~CMemTagShowSheet();
    CMemTagShowSheet(const CMemTagShowSheet&) = delete;
    CMemTagShowSheet& operator=(const CMemTagShowSheet&) = delete;

    int AddError(CString& strMsg);
    int GetErrStringArray(CStringArray& arr);
    int RemoveErrorFile();

    // True while the sheet's window exists (only during DoModal).
    bool HasWindow() const { return false; }
    // Destroys the window, if any (the WM_DESTROY the exported object sends).
    void DestroyWindow() {}

    const CString& GetCaption() const { return m_strCaption; }
    CWnd* GetParentWnd() const { return m_pParent; }
    CFileFace* GetStore() const { return m_pStore; }

private:
    CString m_strCaption;
    CWnd* m_pParent;
    UINT m_nStartPage;
    CFileFace* m_pStore = nullptr;
    CString m_strConfigPath;
    int m_nSelectKind = 0;
};
