// The engine's current data type, data source and struct type, and their checks.
#include "FileDypass.h"
#include "gbtext/StoreTexts.h"

void CFileDypass::SetCode(int& nCode, int nValue, int nLow, int nHigh, const char* szBad) {
    if (nValue >= nLow && nValue <= nHigh) {
        nCode = nValue;
        return;
    }
    ReportError("%s", szBad);
    nCode = kNoCode;
}

void CFileDypass::SetDataType(int nType) {
    SetCode(m_nDataType, nType, memtag::kTypeNone, memtag::kTypeString, gbtext::SetDataTypeBad);
}

void CFileDypass::SetDataSource(int nSource) {
    SetCode(m_nDataSource, nSource, memtag::kSourceBoth, memtag::kSourceBrakk,
            gbtext::SetDataSourceBad);
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
