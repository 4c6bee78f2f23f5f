#include "MemTagList.h"

#include <exception>

#include "FileDypass.h"
#include "FileFace.h"
#include "TagAreaRegion.h"
#include "TagShowSheet.h"
#include "gbtext/StoreTexts.h"

namespace {

// Nothing crosses the exported boundary as an exception: it becomes the member's failure.
template <class R, class F>
R Guard(R onFailure, F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return onFailure;
    }
}

// A list whose sheet could not be built (memory exhausted) answers every member as a store
// without a directory does: writes fail, look-ups find nothing, listings come back empty.
template <class... Arrays>
int Emptied(int nResult, Arrays&... arrays) {
    (arrays.RemoveAll(), ...);
    return nResult;
}

// The sheet goes with the last copy; its window, if it has one, is destroyed first.
struct SheetDeleter {
    void operator()(CMemTagShowSheet* p) const noexcept {
        if (!p)
            return;
        try {
            if (p->HasWindow())
                p->DestroyWindow();
        } catch (...) {
        }
        delete p;
    }
};

std::shared_ptr<CMemTagShowSheet> MakeSheet(CWnd* pParent) noexcept {
    try {
        return std::shared_ptr<CMemTagShowSheet>(
            new CMemTagShowSheet(gbtext::SheetCaption, pParent, 0), SheetDeleter());
    } catch (...) {
        return nullptr;  // an allocation that yields nothing leaves the pointer null
    }
}

}  // namespace

CMemTagList::CMemTagList() : m_pSheet(MakeSheet(nullptr)) {}
CMemTagList::CMemTagList(CWnd* pParent) : m_pSheet(MakeSheet(pParent)) {}
CMemTagList::CMemTagList(const CMemTagList& other) = default;
CMemTagList& CMemTagList::operator=(const CMemTagList& other) = default;
CMemTagList::~CMemTagList() {
    m_pSheet.reset();
}

int CMemTagList::AddData(int nType, int nSource, void* pData, CString strStructType) {
    return Guard(-1, [&] {
        return m_pSheet ? m_pSheet->AddData(nType, nSource, pData, strStructType) : -1;
    });
}

int CMemTagList::AddStruct(int nSource, StructObject_Info* p) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->AddStruct(nSource, p) : -1; });
}

int CMemTagList::AddEvent(int nSource, Thing_Info* p) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->AddEvent(nSource, p) : -1; });
}

int CMemTagList::AddTask(int nSource, Task_Info* p) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->AddTask(nSource, p) : -1; });
}

int CMemTagList::DelData(int nType, int nSource, void* pData) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelData(nType, nSource, pData) : -1; });
}

int CMemTagList::DelData(const CString& strName) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelData(strName) : -1; });
}

int CMemTagList::DelStruct(int nSource, StructObject_Info* p) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelStruct(nSource, p) : 1; });
}

int CMemTagList::DelStruct(int nSource, const CString& strName) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelStruct(nSource, strName) : 1; });
}

int CMemTagList::DelEvent(int nSource, Thing_Info* p) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelEvent(nSource, p) : -1; });
}

int CMemTagList::DelEvent(int nSource, const int& nNo) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelEvent(nSource, nNo) : -1; });
}

int CMemTagList::DelTask(int nSource, Task_Info* p) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelTask(nSource, p) : -1; });
}

int CMemTagList::DelTask(int nSource, const int& nNo) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DelTask(nSource, nNo) : -1; });
}

int CMemTagList::ModifyData(int nType, int nSource, void* pData, CString strOldName,
                            CString strStructType) {
    return Guard(-1, [&] {
        return m_pSheet ? m_pSheet->ModifyData(nType, nSource, pData, strOldName, strStructType)
                        : -1;
    });
}

int CMemTagList::ModifyStruct(int nSource, StructObject_Info* p, CString strOldName) {
    return Guard(-1,
                 [&] { return m_pSheet ? m_pSheet->ModifyStruct(nSource, p, strOldName) : -1; });
}

int CMemTagList::ModifyEvent(int nSource, Thing_Info* p, int nOldNo) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->ModifyEvent(nSource, p, nOldNo) : -1; });
}

int CMemTagList::ModifyTask(int nSource, Task_Info* p, int nOldNo) {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->ModifyTask(nSource, p, nOldNo) : -1; });
}

int CMemTagList::GetSpecyStructObj(const CString& strType,
                                   CArray<StructObject_Info, StructObject_Info>& arr, int nSource) {
    return Guard(0, [&] {
        return m_pSheet ? m_pSheet->GetSpecyStructObj(strType, arr, nSource) : Emptied(0, arr);
    });
}

int CMemTagList::GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource) {
    return Guard(0,
                 [&] { return m_pSheet ? m_pSheet->GetTagArray(arr, nSource) : Emptied(1, arr); });
}

int CMemTagList::GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->GetTagInfoWithIdx(idx, pData) : 0; });
}

int CMemTagList::GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->GetTagInfoWithIdx(idx, tag) : 0; });
}

int CMemTagList::JustTagFromBRK(CString strName) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->JustTagFromBRK(strName) : 0; });
}

int CMemTagList::JustTagFromRMP(CString strName) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->JustTagFromRMP(strName) : 0; });
}

int CMemTagList::RemoveAllBRKFile(int nScope) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->RemoveAllBRKFile(nScope) : 1; });
}

int CMemTagList::RemoveAllRMPFile(int nScope) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->RemoveAllRMPFile(nScope) : 1; });
}

int CMemTagList::BackupAsOldFile(int nSource) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->BackupAsOldFile(nSource) : 0; });
}

int CMemTagList::RecoverWithOldFile(int nSource) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->RecoverWithOldFile(nSource) : 0; });
}

int CMemTagList::AddError(CString& strMsg) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->AddError(strMsg) : 0; });
}

int CMemTagList::GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName, CStringArray& arrDesc) {
    return Guard(0, [&] {
        return m_pSheet ? m_pSheet->GetAllAreaInfo(arrNo, arrName, arrDesc)
                        : Emptied(1, arrNo, arrName, arrDesc);
    });
}

int CMemTagList::GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo,
                                  CStringArray& arrName, CStringArray& arrDesc) {
    return Guard(0, [&] {
        return m_pSheet ? m_pSheet->GetAllRegionInfo(arrAreaNo, arrRegionNo, arrName, arrDesc)
                        : Emptied(1, arrAreaNo, arrRegionNo, arrName, arrDesc);
    });
}

int CMemTagList::SetShowPage(int nTag, int nEvent, int nTask, int nStruct) {
    return Guard(
        0, [&] { return m_pSheet ? m_pSheet->SetShowPage(nTag, nEvent, nTask, nStruct) : 0; });
}

int CMemTagList::SetTagShowType(int n1, int n2, int n3, int n4) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->SetTagShowType(n1, n2, n3, n4) : 0; });
}

int CMemTagList::SetShowDataFrom(int nSource) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->SetShowDataFrom(nSource) : 0; });
}

int CMemTagList::DoModal() {
    return Guard(-1, [&] { return m_pSheet ? m_pSheet->DoModal() : -1; });
}

int CMemTagList::GetSelectedTagInfo(CMemTag& tag) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->GetSelectedTagInfo(tag) : 0; });
}

int CMemTagList::GetSelute(CString strName, CMemTag& tag) {
    if (strName.IsEmpty())
        return 0;
    return Guard(0, [&] { return m_pSheet ? m_pSheet->GetSelute(strName, tag) : 0; });
}

int CMemTagList::SetConfigureFilePath(const CString& strPath) {
    if (strPath.IsEmpty())
        return 0;
    return Guard(0, [&] { return m_pSheet ? m_pSheet->SetConfigureFilePath(strPath) : 0; });
}

int CMemTagList::GetErrStringArray(CStringArray& arr) {
    return Guard(0, [&] { return m_pSheet ? m_pSheet->GetErrStringArray(arr) : Emptied(0, arr); });
}

int CMemTagList::RemoveErrorFile() {
    return Guard(1, [&] { return m_pSheet ? m_pSheet->RemoveErrorFile() : 1; });
}

void CMemTagList::InputTagName(CString strName) {
    Guard(0, [&] {
        if (m_pSheet)
            m_pSheet->InputTagName(strName);
        return 0;
    });
}

void CMemTagList::GetSelectedTags(CStringArray& arr) {
    Guard(0, [&] {
        if (m_pSheet)
            m_pSheet->GetSelectedTags(arr);
        else
            arr.RemoveAll();
        return 0;
    });
}

// The pointer forms read the engine's area/region list directly and hand out deep copies.
int CMemTagList::GetAllAreaInfo(CTagAreaArray* pAreas) {
    return Guard(0, [&] {
        if (!pAreas)
            return 0;
        return m_pSheet ? m_pSheet->GetStore().GetEngine()->CopyAreas(pAreas) : Emptied(1, *pAreas);
    });
}

int CMemTagList::GetAllRegionInfo(CTagRegionGroupArray* pRegions) {
    return Guard(0, [&] {
        if (!pRegions)
            return 0;
        return m_pSheet ? m_pSheet->GetStore().GetEngine()->CopyRegions(pRegions)
                        : Emptied(1, *pRegions);
    });
}

int CMemTagList::AddAreaRegionInfo(CTagAreaArray*, CTagRegionGroupArray*) {
    return 1;
}

int CMemTagList::RemoveAllInfo() {
    return 1;
}
