#include "LoadARFile.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "File.h"
#include "FileSystem.h"
#include "XmlDocument.h"
#include "gbtext/PubTexts.h"

namespace {

const char kFileName[] = "/ARInfo.xml";

// A decimal number as a signed 64-bit integer (leading white space and a sign accepted, reading
// stops at the first non-digit, no digits give 0), of which the low 32 bits are kept. A number
// out of the 64-bit range saturates, as the C run-time's conversion does, instead of
// overflowing.
DWORD ParseNumber(const CString& str) {
    const char* p = str.GetString();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool bNeg = false;
    if (*p == '+' || *p == '-')
        bNeg = *p++ == '-';
    const std::uint64_t nLimit = bNeg ? (std::uint64_t{1} << 63) : (std::uint64_t{1} << 63) - 1;
    std::uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        auto d = static_cast<std::uint64_t>(*p - '0');
        v = v > (nLimit - d) / 10 ? nLimit : v * 10 + d;
    }
    if (bNeg)
        v = 0 - v;
    return static_cast<DWORD>(v);
}

// Inserts each of `fresh` (in file order) into `held` (whose keys are `heldKeys`) before the
// first element with a greater key, or at the end: the order the loader has always produced.
// On a sorted array that is a stable sort of the new elements merged after equal held ones.
template <class T>
void InsertAllSorted(std::vector<T*>& held, const std::vector<DWORD>& heldKeys,
                     std::vector<std::pair<DWORD, T*>>& fresh) {
    auto byKey = [](const std::pair<DWORD, T*>& a, const std::pair<DWORD, T*>& b) {
        return a.first < b.first;
    };
    std::vector<std::pair<DWORD, T*>> all;
    all.reserve(held.size() + fresh.size());
    for (std::size_t i = 0; i < held.size(); ++i)
        all.emplace_back(heldKeys[i], held[i]);
    if (std::is_sorted(all.begin(), all.end(), byKey)) {
        std::stable_sort(fresh.begin(), fresh.end(), byKey);
        const auto mid = static_cast<std::ptrdiff_t>(all.size());
        all.insert(all.end(), fresh.begin(), fresh.end());
        std::inplace_merge(all.begin(), all.begin() + mid, all.end(), byKey);
    } else {
        // Only a caller's own unsorted array gets here; keep its order rule literally.
        for (const auto& x : fresh) {
            auto at = std::find_if(all.begin(), all.end(),
                                   [&](const auto& y) { return y.first > x.first; });
            all.insert(at, x);
        }
    }
    held.reserve(all.size());
    held.clear();
    for (const auto& x : all)
        held.push_back(x.second);
}

// Adds the areas and regions of a well-formed document to the arrays; always 1.
int AddFromDocument(CXmlDocument& xml, CTagRegionGroupArray* pGroups, CTagAreaArray* pAreas);

}  // namespace

int CLoadARFile::LoadAreaRegions(const CString& strDir, CTagRegionGroupArray* pGroups,
                                 CTagAreaArray* pAreas, const CString& strPath,
                                 CXmlDocument::Limit* pLimit) {
    if (pLimit)
        *pLimit = CXmlDocument::Limit::kNone;
    if (!pGroups || !pAreas)
        return 0;
    CString path = strPath.IsEmpty() ? strDir + kFileName : strPath;
    CXmlDocument xml;
    xml.SetMaxDepth(kMaxDepth);
    const bool bRead = xml.LoadFile(path, kMaxFileBytes);
    if (pLimit)
        *pLimit = xml.LimitHit();
    return bRead ? AddFromDocument(xml, pGroups, pAreas) : 0;
}

int CLoadARFile::LoadAreaRegionsFromText(std::string_view text, CTagRegionGroupArray* pGroups,
                                         CTagAreaArray* pAreas) {
    if (!pGroups || !pAreas || text.size() > kMaxFileBytes)
        return 0;
    CXmlDocument xml;
    xml.SetMaxDepth(kMaxDepth);
    return xml.SetDoc(text) ? AddFromDocument(xml, pGroups, pAreas) : 0;
}

namespace {

int AddFromDocument(CXmlDocument& xml, CTagRegionGroupArray* pGroups, CTagAreaArray* pAreas) {
    // Read in file order first, then put in place all at once: one insertion at a time into a
    // sorted array costs a shift of the array per element, quadratic in large files.
    std::vector<std::pair<DWORD, CTagArea*>> areas;
    std::vector<std::pair<DWORD, CTagRegionArray*>> groups;
    std::vector<std::unique_ptr<CTagArea>> ownAreas;
    std::vector<std::unique_ptr<CTagRegionArray>> ownGroups;
    std::vector<std::unique_ptr<CTagRegion>> ownRegions;

    bool bInRoot = xml.FindElement("CfgInfo") && xml.EnterElement();
    while (xml.FindElement("Area")) {
        auto& area = ownAreas.emplace_back(std::make_unique<CTagArea>());
        area->nArea = ParseNumber(xml.GetAttribute("ID"));
        area->strName = xml.GetAttribute("Name");
        area->strDesc = xml.GetAttribute("Desc.");
        areas.emplace_back(area->nArea, area.get());

        auto& group = ownGroups.emplace_back(std::make_unique<CTagRegionArray>());
        xml.EnterElement();
        while (xml.FindElement("Region")) {
            auto& region = ownRegions.emplace_back(std::make_unique<CTagRegion>());
            region->nArea = ParseNumber(xml.GetAttribute("AreaID"));
            region->nRegion = ParseNumber(xml.GetAttribute("RegionID"));
            region->strName = xml.GetAttribute("Name");
            region->strDesc = xml.GetAttribute("Short");
            group->Add(region.get());
        }
        xml.LeaveElement();
        // Regions by number, equal numbers in file order.
        std::stable_sort(
            group->begin(), group->end(),
            [](const CTagRegion* a, const CTagRegion* b) { return a->nRegion < b->nRegion; });
        // A group is placed by its first region's area number; one without regions by the
        // number of its own area.
        groups.emplace_back(group->GetSize() > 0 ? group->GetAt(0)->nArea : area->nArea,
                            group.get());
    }
    if (bInRoot)
        xml.LeaveElement();

    // Groups already held are placed by the same rule (for one without regions: the number of
    // the area beside it).
    std::vector<DWORD> heldKeys;
    heldKeys.reserve(static_cast<std::size_t>(pGroups->GetSize()));
    for (int g = 0; g < pGroups->GetSize(); ++g) {
        const CTagRegionArray* grp = pGroups->GetAt(g);
        if (grp && grp->GetSize() > 0 && grp->GetAt(0))
            heldKeys.push_back(grp->GetAt(0)->nArea);
        else
            heldKeys.push_back(g < pAreas->GetSize() && pAreas->GetAt(g) ? pAreas->GetAt(g)->nArea
                                                                         : 0);
    }
    std::vector<DWORD> heldAreaKeys;
    heldAreaKeys.reserve(static_cast<std::size_t>(pAreas->GetSize()));
    for (const CTagArea* a : *pAreas)
        heldAreaKeys.push_back(a->nArea);

    InsertAllSorted(pAreas->vec(), heldAreaKeys, areas);
    InsertAllSorted(pGroups->vec(), heldKeys, groups);
    for (auto& r : ownRegions)
        r.release();
    for (auto& g : ownGroups)
        g.release();
    for (auto& a : ownAreas)
        a.release();
    return 1;
}

}  // namespace

CString CLoadARFile::BuildDefaultDocument() {
    CXmlDocument xml(
        "<?xml version = \"1.0\" encoding = \"gb2312\"?>\r\n"
        "<!-- Default Setting -->\r\n"
        "<CfgInfo>\r\n</CfgInfo>");
    xml.FindElement("CfgInfo");
    struct DefaultArea {
        const char* szId;
        const char* szDesc;
        const char* szRegionId;
        const char* szRegionName;
    };
    for (const DefaultArea& a :
         {DefaultArea{"0", gbtext::DefFileArea0Desc, "0", gbtext::DefFileRegion0Name},
          DefaultArea{"1", gbtext::DefFileArea1Desc, "65536", gbtext::DefFileRegion1Name}}) {
        xml.AddChildElement("Area");
        xml.SetChildAttribute("ID", a.szId);
        xml.SetChildAttribute("Name", a.szId);
        xml.SetChildAttribute("Desc.", a.szDesc);
        xml.EnterElement();
        xml.AddChildElement("Region");
        xml.SetChildAttribute("AreaID", a.szId);
        xml.SetChildAttribute("RegionID", a.szRegionId);
        xml.SetChildAttribute("Name", a.szRegionName);
        xml.SetChildAttribute("Short", "");
        xml.LeaveElement();
    }
    return xml.GetDocument();
}

int CLoadARFile::WriteDefaultFile(const CString& strDir, int bOverwrite) {
    if (!mlplat::IsDirectory(strDir))
        mlplat::CreateDir(strDir);
    CString path = strDir + kFileName;
    if (!bOverwrite && mlplat::PathExists(path))
        return 1;
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeReadWrite))
        return 0;
    CString doc = BuildDefaultDocument();
    // A failed write is reported, not passed off as a written file.
    return file.WriteAt(0, doc.GetString(), static_cast<size_t>(doc.GetLength())) ? 1 : 0;
}

CAreaRegionList::~CAreaRegionList() {
    RemoveAll();
}

void CLoadARFile::FreeAll(CTagRegionGroupArray* pGroups, CTagAreaArray* pAreas) {
    if (pGroups) {
        for (CTagRegionArray* grp : *pGroups) {
            if (!grp)
                continue;
            for (CTagRegion* r : *grp)
                delete r;
            delete grp;
        }
        pGroups->RemoveAll();
    }
    if (pAreas) {
        for (CTagArea* a : *pAreas)
            delete a;
        pAreas->RemoveAll();
    }
}

void CAreaRegionList::RemoveAll() {
    CLoadARFile::FreeAll(&m_arrRegionGroups, &m_arrAreas);
}

void CAreaRegionList::AddDefaults() {
    auto area = std::make_unique<CTagArea>();
    area->strName = gbtext::DefaultAreaName;
    area->strDesc = gbtext::DefaultAreaDesc;
    auto region = std::make_unique<CTagRegion>();
    region->strName = gbtext::DefaultRegionName;
    auto group = std::make_unique<CTagRegionArray>();
    group->Add(region.get());
    region.release();
    m_arrAreas.Add(area.get());
    area.release();
    m_arrRegionGroups.Add(group.get());
    group.release();
}

int CAreaRegionList::LoadFromDirectory(const char* szDir) {
    // Emptied first: the file set reopens (and reloads) many times in one object's life.
    RemoveAll();
    m_limitHit = CXmlDocument::Limit::kNone;
    // No directory known is no file: "/ARInfo.xml" at the file-system root is nobody's.
    if (!szDir || !*szDir ||
        CLoadARFile::LoadAreaRegions(CString(szDir), &m_arrRegionGroups, &m_arrAreas, CString(),
                                     &m_limitHit) == 0) {
        RemoveAll();
        AddDefaults();
    }
    return 1;
}

int CAreaRegionList::GetAllAreaInfo(CDWordArray& arrAreaIDs, CStringArray& arrNames,
                                    CStringArray& arrDescs) const {
    arrAreaIDs.RemoveAll();
    arrNames.RemoveAll();
    arrDescs.RemoveAll();
    for (const CTagArea* a : m_arrAreas) {
        arrAreaIDs.Add(a->nArea);
        arrNames.Add(a->strName);
        arrDescs.Add(a->strDesc);
    }
    return 1;
}

int CAreaRegionList::GetAllRegionInfo(CDWordArray& arrAreaIDs, CDWordArray& arrRegionIDs,
                                      CStringArray& arrNames, CStringArray& arrDescs) const {
    arrAreaIDs.RemoveAll();
    arrRegionIDs.RemoveAll();
    arrNames.RemoveAll();
    arrDescs.RemoveAll();
    for (const CTagRegionArray* grp : m_arrRegionGroups) {
        for (const CTagRegion* r : *grp) {
            arrAreaIDs.Add(r->nArea);
            arrRegionIDs.Add(r->nRegion);
            arrNames.Add(r->strName);
            arrDescs.Add(r->strDesc);
        }
    }
    return 1;
}

int CAreaRegionList::CopyAreas(CTagAreaArray* pAreas) const {
    if (!pAreas)
        return 1;
    pAreas->RemoveAll();
    for (const CTagArea* a : m_arrAreas)
        pAreas->Add(new CTagArea(*a));
    return 1;
}

int CAreaRegionList::CopyRegions(CTagRegionGroupArray* pGroups) const {
    if (!pGroups)
        return 1;
    pGroups->RemoveAll();
    for (const CTagRegionArray* grp : m_arrRegionGroups) {
        auto copy = std::make_unique<CTagRegionArray>();
        for (const CTagRegion* r : *grp)
            copy->Add(new CTagRegion(*r));
        pGroups->Add(copy.get());
        copy.release();
    }
    return 1;
}
