#include "DirkeeperInterface.h"

#include "DynamicLibrary.h"

const char* const CDirkeeperInterface::kEntryNames[kEntryCount] = {
    "Dirkeeper_Init_Cfg",
    "Dirkeeper_Init_Cfg_Share",
    "Dirkeeper_Init_Cfg_FromShare",
    "Dirkeeper_Init_Run",
    "Dirkeeper_Init_Run_Share",
    "Dirkeeper_Init_Run_FromShare",
    "Dirkeeper_UnInit_Cfg",
    "Dirkeeper_UnInit_Run",
    "Dirkeeper_IsInit_Cfg",
    "Dirkeeper_IsInit_Run",
    "Dirkeeper_GetPath",
    "Dirkeeper_GetCfgPath",
    "Dirkeeper_GetRunPath",
    "Dirkeeper_GetCurCfgPathInfo",
    "Dirkeeper_GetCurRunPathInfo",
    "Dirkeeper_SetLatestCfgPathInfo",
    "Dirkeeper_SetLatestRunPathInfo",
    "Dirkeeper_GetLatestCfgPathInfo",
    "Dirkeeper_GetLatestRunPathInfo",
    "Dirkeeper_IsNewSystem",
    "Dirkeeper_GetPathByLable",
};

namespace {
constexpr int kGetCfgPath = 11;
}

CDirkeeperInterface::~CDirkeeperInterface() {
    Unload();
}

void CDirkeeperInterface::Unload() {
    mlplat::FreeLibrary(m_hModule);
    m_hModule = nullptr;
    for (void*& p : m_pEntries)
        p = nullptr;
    m_bLoaded = false;
}

bool CDirkeeperInterface::Load() {
    if (m_bLoaded)
        return true;
    Unload();
    m_hModule = mlplat::LoadLibrary(m_strLibrary);
    if (!m_hModule)
        return false;
    for (int i = 0; i < kEntryCount; ++i)
        m_pEntries[i] = mlplat::GetProcAddress(m_hModule, kEntryNames[i]);
    m_bLoaded = true;
    return true;
}

int CDirkeeperInterface::GetCfgPath(const CString& strLabel, CString& strResult) {
    if (!Load() || !m_pEntries[kGetCfgPath])
        return 0;
    DIRKEEPER_PATHINFO info{sizeof(DIRKEEPER_PATHINFO), "", "", 0, 0};
    auto fn = reinterpret_cast<PFN_DirkeeperGetCfgPath>(m_pEntries[kGetCfgPath]);
    return fn(strLabel.GetString(), info, &strResult);
}
