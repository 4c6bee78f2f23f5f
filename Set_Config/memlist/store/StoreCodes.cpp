// The store's current data type, data source and struct type, and their checks.
#include "StoreCodes.h"
#include "TagRecords.h"
#include "gbtext/StoreTexts.h"

void CStoreCodes::SetCode(int& nCode, int nValue, int nLow, int nHigh, const char* szBad) {
    if (nValue >= nLow && nValue <= nHigh) {
        nCode = nValue;
        return;
    }
    ReportError("%s", szBad);
    nCode = kNoCode;
}

void CStoreCodes::SetDataType(int nType) {
    SetCode(m_nDataType, nType, memtag::kTypeNone, memtag::kTypeString, gbtext::SetDataTypeBad);
}

void CStoreCodes::SetDataSource(int nSource) {
    SetCode(m_nDataSource, nSource, memtag::kSourceBoth, memtag::kSourceBrakk,
            gbtext::SetDataSourceBad);
}

void CStoreCodes::SetStructType(const CString& strStructType) {
    m_strStructType = strStructType;
}

int CStoreCodes::CheckDataType() {
    if (m_nDataType >= memtag::kTypeNone && m_nDataType <= memtag::kTypeString)
        return 1;
    ReportError("%s", gbtext::CheckDataTypeBad);
    return 0;
}

int CStoreCodes::CheckDataSource() {
    if (m_nDataSource >= memtag::kSourceBoth && m_nDataSource <= memtag::kSourceBrakk)
        return 1;
    ReportError("%s", gbtext::CheckDataSourceBad);
    return 0;
}

int CStoreCodes::CheckStructType() {
    if (!m_strStructType.IsEmpty() && m_strStructType[0] == '#')
        return 1;
    ReportError("%s", gbtext::CheckStructTypeBad);
    return 0;
}
