#include "FileFace.h"

#include <new>

#include "FileDypass.h"

CFileFace::CFileFace() : m_pDypass(new (std::nothrow) CFileDypass) {}

CFileFace::~CFileFace() {
    delete m_pDypass;
    m_pDypass = nullptr;
}

int CFileFace::AddError(CString& strMsg) {
    return m_pDypass ? m_pDypass->AddError(strMsg) : 0;
}

int CFileFace::GetErrStringArray(CStringArray& arr) {
    if (!m_pDypass) {
        arr.RemoveAll();
        return 0;
    }
    return m_pDypass->GetErrStringArray(arr);
}

int CFileFace::RemoveErrorFile() {
    return m_pDypass ? m_pDypass->RemoveErrorFile() : 1;
}
