#include "TagShowSheet.h"

#include <new>

#include "FileFace.h"

CMemTagShowSheet::CMemTagShowSheet(const char* pszCaption, CWnd* pParent, UINT iSelectPage)
    : m_strCaption(pszCaption), m_pParent(pParent), m_nStartPage(iSelectPage) {
    m_nSelectKind = 0;
    m_strConfigPath.Empty();
    m_pStore = new (std::nothrow) CFileFace;
}

CMemTagShowSheet::~CMemTagShowSheet() {
    delete m_pStore;
    m_pStore = nullptr;
    m_strConfigPath.Empty();
}

int CMemTagShowSheet::AddError(CString& strMsg) {
    return m_pStore ? m_pStore->AddError(strMsg) : 0;
}

int CMemTagShowSheet::GetErrStringArray(CStringArray& arr) {
    if (!m_pStore) {
        arr.RemoveAll();
        return 0;
    }
    return m_pStore->GetErrStringArray(arr);
}

int CMemTagShowSheet::RemoveErrorFile() {
    return m_pStore ? m_pStore->RemoveErrorFile() : 1;
}
