// CFileDypass: the tag store engine.
//
// Owns the temporary directory and everything in it: the error file, the record and index
// files, the two name trees and the area/region list, and the path service that names the
// directory. All work happens on the caller's thread; the engine keeps no cache of the record
// files, so what another process writes is seen at the next call. Nothing throws out of it.
#pragma once

#include "Arrays.h"
#include "CString.h"
#include "DirkeeperInterface.h"
#include "TagRecords.h"

class CFileDypass {
public:
    // Resolves "QLX_PATH_D_TEMP" through the path service (empty when that fails), creates the
    // directory tree and opens the file set.
    CFileDypass();
    ~CFileDypass();
    CFileDypass(const CFileDypass&) = delete;
    CFileDypass& operator=(const CFileDypass&) = delete;

    // --- error file -------------------------------------------------------------------------
    // Appends one message line (a '\n' is appended to `strMsg` itself). Nonzero when the file
    // could be opened; 0 without a directory or while another process holds the file.
    int AddError(CString& strMsg);
    // Formats and appends one message: the one way the engine and the facade report failures.
    void ReportError(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // The messages, after any header complaint. Nonzero when the file could be opened.
    int GetErrStringArray(CStringArray& arr);
    // Deletes the error file if it exists; always 1.
    int RemoveErrorFile();

    // --- directories ------------------------------------------------------------------------
    // Creates every missing directory of `strPath`; 1 unless a creation failed (0 for an empty
    // path). Changes the process's current directory to each directory it creates.
    int CreateDirectoryTree(const CString& strPath);

    // --- codes: current data type, data source and struct type ----------------------------
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

    const CString& GetTempDir() const { return m_strTempDir; }
    // Path of `name` in the temporary directory (directory, a separator, the name).
    CString TempPath(const char* name) const;

    // The error file's name, identifier and format version.
    static constexpr const char* kErrFileName = "TempErrFile.txt";
    static constexpr const char* kErrFileId = "ZORVEN_TEMPERR";
    static constexpr unsigned kFormatVersion = 0x00010000;

private:
    static constexpr int kNoCode = -1;  // no valid current type or source

    CString m_strTempDir;
    int m_nDataType = kNoCode;
    int m_nDataSource = kNoCode;
    CString m_strStructType{"#"};
    CDirkeeperInterface m_dirKeeper;
};
