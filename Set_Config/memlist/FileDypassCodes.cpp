// The engine's current data type, data source and struct type, and their checks.
#include "FileDypass.h"
#include "gbtext/StoreTexts.h"

void CFileDypass::SetDataType(int nType) {
    if (nType >= memtag::kTypeNone && nType <= memtag::kTypeString) {
        m_nDataType = nType;
        return;
    }
    ReportError("%s", gbtext::SetDataTypeBad);
    m_nDataType = kNoCode;
}

void CFileDypass::SetDataSource(int nSource) {
    if (nSource >= memtag::kSourceBoth && nSource <= memtag::kSourceBrakk) {
        m_nDataSource = nSource;
        return;
    }
    ReportError("%s", gbtext::SetDataSourceBad);
    m_nDataSource = kNoCode;
}

void CFileDypass::SetStructType(const CString& strStructType) {
    m_strStructType = strStructType;
}

int CFileDypass::CheckDataType() {
    if (m_nDataType >= memtag::kTypeNone && m_nDataType <= memtag::kTypeString)
        return 1;
    ReportError("%s", gbtext::CheckDataTypeBad);
    return 0;
}

int CFileDypass::CheckDataSource() {
    if (m_nDataSource >= memtag::kSourceBoth && m_nDataSource <= memtag::kSourceBrakk)
        return 1;
    ReportError("%s", gbtext::CheckDataSourceBad);
    return 0;
}

int CFileDypass::CheckStructType() {
    if (!m_strStructType.IsEmpty() && m_strStructType[0] == '#')
        return 1;
    ReportError("%s", gbtext::CheckStructTypeBad);
    return 0;
}
