// CDirkeeperInterface: the suite's path service, loaded at run time.
//
// The path service (libDirkeeper.so.1, built by this project) answers path labels such as
// "QLX_PATH_D_TEMP" with directories. It is loaded on first use; when the library or its entry
// point is missing, GetCfgPath fails with 0 and leaves the result untouched. Nothing throws.
#pragma once

#include "CString.h"

// The path-information record passed by value to the path service. Native layout: `dwSize`
// holds sizeof(DIRKEEPER_PATHINFO).
struct DIRKEEPER_PATHINFO {
    DWORD dwSize;
    const char* pszText1;
    const char* pszText2;
    int nValue1;
    int nValue2;
};

// Signature of "Dirkeeper_GetCfgPath": label, request, result string; nonzero on success.
using PFN_DirkeeperGetCfgPath = int (*)(const char* pszLabel, DIRKEEPER_PATHINFO info,
                                        CString* pResult);

class CDirkeeperInterface {
public:
    // The library's file name as the dynamic linker looks it up: its versioned name, so that the
    // suite's own libDirkeeper.so is never the one loaded.
    static constexpr const char* kLibraryName = "libDirkeeper.so.1";
    static constexpr int kEntryCount = 21;
    // The entry points' names, in the order they are resolved.
    static const char* const kEntryNames[kEntryCount];

    // `pszLibrary` names another library file (tests use it to stand for a missing service).
    explicit CDirkeeperInterface(const char* pszLibrary = kLibraryName)
        : m_strLibrary(pszLibrary) {}
    ~CDirkeeperInterface();
    CDirkeeperInterface(const CDirkeeperInterface&) = delete;
    CDirkeeperInterface& operator=(const CDirkeeperInterface&) = delete;

    // Loads the library once; true when it is loaded (whether or not every entry was found).
    bool Load();
    // The directory of `strLabel` into `strResult`; 0 when the service or its entry is missing.
    // Both texts of the request are sent empty and both integers 0.
    int GetCfgPath(const CString& strLabel, CString& strResult);

    bool IsLoaded() const { return m_bLoaded; }
    void* GetEntry(int i) const { return i >= 0 && i < kEntryCount ? m_pEntries[i] : nullptr; }

private:
    void Unload();

    void* m_pEntries[kEntryCount] = {};
    CString m_strLibrary;
    void* m_hModule = nullptr;
    bool m_bLoaded = false;
};
