// The engine's frame: the temporary directory.
#include "FileDypass.h"

#include <cstdint>
#include <string>

#include "File.h"
#include "FileSystem.h"
#include "gbtext/StoreTexts.h"

CString CFileDypass::TempPath(const char* name) const {
    CString path = m_strTempDir;
    if (!path.IsEmpty() && path[path.GetLength() - 1] != '/')
        path += '/';
    return path + name;
}

mlplat::StoreDir* CFileDypass::ErrorFileDir() {
    return m_strTempDir.IsEmpty() || m_bReadOnly ? nullptr : &StoreDirectory();
}

mlplat::StoreDir& CFileDypass::StoreDirectory() {
    if (!m_pDir)
        m_pDir = std::make_shared<mlplat::StoreDir>();
    if ((!m_pDir->IsOpen() || m_pDir->IsRemoved()) && !m_pDir->Open(m_strTempDir.str()))
        m_pDir->Close();
    return *m_pDir;
}

bool CFileDypass::ReportIfRefused(const char* name) {
    if (!StoreDirectory().Refuses(name))
        return false;
    ReportError(gbtext::StoreFileRefused, TempPath(name).GetString());
    return true;
}

int CFileDypass::CreateDirectoryTree(const CString& strPath) {
    if (strPath.IsEmpty())
        return 0;
    // Relative paths are made absolute first: the walk moves the current directory into each
    // directory it creates, which must not change where the next level goes.
    CString path(mlplat::MakeAbsolute(strPath.str()));
    if (path[path.GetLength() - 1] != '/')
        path += '/';
    int result = 1;
    // The leading '/' plays the drive letter's part: it is skipped and the walk goes on.
    for (int pos = path.Find('/', 1); pos > 0; pos = path.Find('/', pos + 1)) {
        CString prefix = path.Left(pos);
        if (prefix.IsEmpty() || mlplat::IsDirectory(prefix))
            continue;
        if (mlplat::CreateDir(prefix))
            mlplat::SetCurrentDir(prefix);
        else
            result = 0;
    }
    return result;
}
