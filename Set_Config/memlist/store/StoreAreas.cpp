// The areas and regions of the area file.
#include "StoreAreas.h"

#include "DirkeeperInterface.h"
#include "LoadARFile.h"
#include "StoreErrorFile.h"
#include "gbtext/StoreTexts.h"

CStoreAreas::CStoreAreas(const CString& strAreaInfoDir)
    : m_pAreaList(std::make_unique<CAreaRegionList>()), m_strAreaInfoDir(strAreaInfoDir) {}

CStoreAreas::~CStoreAreas() = default;

void CStoreAreas::LoadAreaRegions(CDirkeeperInterface& dirKeeper, CStoreErrorFile& errors) {
    CString strDir = m_strAreaInfoDir;
    if (strDir.IsEmpty() && !dirKeeper.GetCfgPath("QLX_PATH_D_AREAINFO", strDir))
        strDir.Empty();
    // The list empties itself first: reopening the set never adds an area twice.
    m_pAreaList->LoadFromDirectory(strDir);
    const CXmlDocument::Limit hit = m_pAreaList->LimitHit();
    if (hit == CXmlDocument::Limit::kNone)
        return;
    const CString path = strDir + "/ARInfo.xml";
    if (hit == CXmlDocument::Limit::kTooLarge)
        errors.ReportError(gbtext::AreaFileTooLarge, path.GetString(),
                           static_cast<unsigned>(CLoadARFile::kMaxFileBytes));
    else
        errors.ReportError(gbtext::AreaFileTooDeep, path.GetString(), CLoadARFile::kMaxDepth);
}

int CStoreAreas::GetAllAreaInfo(CDWordArray& arrAreaNo, CStringArray& arrName,
                                CStringArray& arrDesc) {
    arrAreaNo.RemoveAll();
    arrName.RemoveAll();
    arrDesc.RemoveAll();
    return m_pAreaList ? m_pAreaList->GetAllAreaInfo(arrAreaNo, arrName, arrDesc) : 0;
}

int CStoreAreas::GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo,
                                  CStringArray& arrName, CStringArray& arrDesc) {
    arrAreaNo.RemoveAll();
    arrRegionNo.RemoveAll();
    arrName.RemoveAll();
    arrDesc.RemoveAll();
    return m_pAreaList ? m_pAreaList->GetAllRegionInfo(arrAreaNo, arrRegionNo, arrName, arrDesc)
                       : 0;
}

int CStoreAreas::CopyAreas(CTagAreaArray* pAreas) {
    return m_pAreaList && pAreas ? m_pAreaList->CopyAreas(pAreas) : 0;
}

int CStoreAreas::CopyRegions(CTagRegionGroupArray* pGroups) {
    return m_pAreaList && pGroups ? m_pAreaList->CopyRegions(pGroups) : 0;
}
