// CStoreCodes: the store's current data type, data source and struct type, which the public
// calls set and the engine's tag calls read, and their checks. A bad code is told in the error
// file.
#pragma once

#include "CString.h"
#include "StoreErrorFile.h"

class CStoreCodes : public CStoreErrorFile {
public:
    // Codes 0..4 become the current type; any other reports "在数据类型转换时，数据类型指定错误！"
    // and leaves no valid current type, so that the next CheckDataType fails.
    void SetDataType(int nType);
    // Codes 0..2 become the current source; any other reports "在数据来源类型转换时，数据来源类型
    // 指定错误！" and leaves no valid current source.
    void SetDataSource(int nSource);
    // Stores the name as given (no check).
    void SetStructType(const CString& strStructType);
    // 1 when the current type is 0..4, else reports "指定数据类型错误！" and returns 0.
    int CheckDataType();
    // 1 when the current source is 0..2, else reports "指定数据来源错误！" and returns 0.
    int CheckDataSource();
    // 1 when the current struct type name is non-empty and begins with '#', else reports
    // "指定结构类型错误！" and returns 0.
    int CheckStructType();
    int GetDataType() const { return m_nDataType; }
    int GetDataSource() const { return m_nDataSource; }
    const CString& GetStructType() const { return m_strStructType; }

protected:
    CStoreCodes() = default;
    static constexpr int kNoCode = -1;  // no valid current type or source
    int m_nDataType = kNoCode;
    int m_nDataSource = kNoCode;

private:
    // A value out of range is reported and leaves no valid code.
    void SetCode(int& nCode, int nValue, int nLow, int nHigh, const char* szBad);

    CString m_strStructType{"#"};
};
