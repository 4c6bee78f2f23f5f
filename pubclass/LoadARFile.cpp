#include "LoadARFile.h"

#include <memory>
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

}  // namespace

int CLoadARFile::LoadAreaRegions(const CString& strDir, CTagRegionGroupArray* pGroups,
                                 CTagAreaArray* pAreas, const CString& strPath) {
    if (!pGroups || !pAreas)
        return 0;
    CString path = strPath.IsEmpty() ? strDir + kFileName : strPath;
    CXmlDocument xml;
    if (!xml.LoadFile(path))
        return 0;

    // Sort key of each group: the area number of its first region; a group without regions
    // takes the number of its own area (for groups already held: the area beside it).
    std::vector<DWORD> keys;
    for (int g = 0; g < pGroups->GetSize(); ++g) {
        const CTagRegionArray* grp = pGroups->GetAt(g);
        if (grp && grp->GetSize() > 0 && grp->GetAt(0))
            keys.push_back(grp->GetAt(0)->nArea);
        else
            keys.push_back(g < pAreas->GetSize() && pAreas->GetAt(g) ? pAreas->GetAt(g)->nArea : 0);
    }

    bool bInRoot = xml.FindElement("CfgInfo") && xml.EnterElement();
    while (xml.FindElement("Area")) {
        auto area = std::make_unique<CTagArea>();
        area->nArea = ParseNumber(xml.GetAttribute("ID"));
        area->strName = xml.GetAttribute("Name");
        area->strDesc = xml.GetAttribute("Desc.");

        auto group = std::make_unique<CTagRegionArray>();
        xml.EnterElement();
        while (xml.FindElement("Region")) {
            auto region = std::make_unique<CTagRegion>();
            region->nArea = ParseNumber(xml.GetAttribute("AreaID"));
            region->nRegion = ParseNumber(xml.GetAttribute("RegionID"));
            region->strName = xml.GetAttribute("Name");
            region->strDesc = xml.GetAttribute("Short");
            int r = 0;
            while (r < group->GetSize() && group->GetAt(r)->nRegion <= region->nRegion)
                ++r;
            group->InsertAt(r, region.get());
            region.release();
        }
        xml.LeaveElement();

        int i = 0;
        while (i < pAreas->GetSize() && pAreas->GetAt(i)->nArea <= area->nArea)
            ++i;
        DWORD nKey = group->GetSize() > 0 ? group->GetAt(0)->nArea : area->nArea;
        size_t k = 0;
        while (k < keys.size() && keys[k] <= nKey)
            ++k;
        keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(k), nKey);
        pAreas->InsertAt(i, area.get());
        area.release();
        pGroups->InsertAt(static_cast<int>(k), group.get());
        group.release();
    }
    if (bInRoot)
        xml.LeaveElement();
    return 1;
}

CString CLoadARFile::BuildDefaultDocument() {
    CXmlDocument xml(
        "<?xml version = \"1.0\" encoding = \"gb2312\"?>\r\n"
        "<!-- Default Setting -->\r\n"
        "<CfgInfo>\r\n</CfgInfo>");
    xml.FindElement("CfgInfo");
    xml.AddChildElement("Area");
    xml.SetChildAttribute("ID", "0");
    xml.SetChildAttribute("Name", "0");
    xml.SetChildAttribute("Desc.", gbtext::DefFileArea0Desc);
    xml.EnterElement();
    xml.AddChildElement("Region");
    xml.SetChildAttribute("AreaID", "0");
    xml.SetChildAttribute("RegionID", "0");
    xml.SetChildAttribute("Name", gbtext::DefFileRegion0Name);
    xml.SetChildAttribute("Short", "");
    xml.LeaveElement();
    xml.AddChildElement("Area");
    xml.SetChildAttribute("ID", "1");
    xml.SetChildAttribute("Name", "1");
    xml.SetChildAttribute("Desc.", gbtext::DefFileArea1Desc);
    xml.EnterElement();
    xml.AddChildElement("Region");
    xml.SetChildAttribute("AreaID", "1");
    xml.SetChildAttribute("RegionID", "65536");
    xml.SetChildAttribute("Name", gbtext::DefFileRegion1Name);
    xml.SetChildAttribute("Short", "");
    xml.LeaveElement();
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

void CAreaRegionList::RemoveAll() {
    for (CTagRegionArray* grp : m_arrRegionGroups) {
        if (!grp)
            continue;
        for (CTagRegion* r : *grp)
            delete r;
        delete grp;
    }
    m_arrRegionGroups.RemoveAll();
    for (CTagArea* a : m_arrAreas)
        delete a;
    m_arrAreas.RemoveAll();
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
    // No directory known is no file: "/ARInfo.xml" at the file-system root is nobody's.
    if (!szDir || !*szDir ||
        CLoadARFile::LoadAreaRegions(CString(szDir), &m_arrRegionGroups, &m_arrAreas) == 0) {
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
