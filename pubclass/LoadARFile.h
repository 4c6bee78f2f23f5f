// The area/region list and its file, ARInfo.xml.
//
// CLoadARFile reads ARInfo.xml (root CfgInfo, Area elements holding Region elements) into the
// two owning arrays of an area/region list, and writes the default file. CAreaRegionList (this
// header is where the store engine finds it) owns those arrays: areas sorted by number, and one
// group of regions per area sorted by region number, group k beside area k when the file is
// consistent. It is loaded from a directory, falling back to one built-in area and region when
// the file cannot be read or is not well formed, and hands out copies (arrays of values, or
// newly allocated records the caller then owns). Not thread-safe; nothing here throws except
// std::bad_alloc.
#pragma once

#include <cstddef>
#include <string_view>

#include "Arrays.h"
#include "CString.h"
#include "TagAreaRegion.h"
#include "XmlDocument.h"

class CLoadARFile {
public:
    // A file larger than kMaxFileBytes (32 MiB: 100,000 areas take some 23 MB) or with elements
    // nested deeper than kMaxDepth (the file itself needs 3) is refused unread: either would
    // cost memory out of all proportion to any real plant's areas.
    static constexpr std::size_t kMaxFileBytes = std::size_t{32} << 20;
    static constexpr int kMaxDepth = 64;

    // Adds the areas and regions of `strPath` (empty: strDir + "/ARInfo.xml") to the arrays,
    // which keep what they held. An Area without Region children is grouped by its own number.
    // 1 when the file was read and is well formed, 0 otherwise (the arrays are then unchanged);
    // *pLimit, when given, says whether a bound above refused the file.
    static int LoadAreaRegions(const CString& strDir, CTagRegionGroupArray* pGroups,
                               CTagAreaArray* pAreas, const CString& strPath = CString(),
                               CXmlDocument::Limit* pLimit = nullptr);
    // The same for a document's text in memory, under the same depth bound.
    static int LoadAreaRegionsFromText(std::string_view text, CTagRegionGroupArray* pGroups,
                                       CTagAreaArray* pAreas);
    // Writes the default ARInfo.xml into strDir (created, one level), unless a file is there
    // and bOverwrite is 0. 1 on success or when the file was kept; 0 when the file cannot be
    // opened or written.
    static int WriteDefaultFile(const CString& strDir, int bOverwrite);
    // The default document's text, byte for byte as WriteDefaultFile writes it.
    static CString BuildDefaultDocument();
    // Deletes every region, group and area the arrays own and empties them.
    static void FreeAll(CTagRegionGroupArray* pGroups, CTagAreaArray* pAreas);
};

class CAreaRegionList {
public:
    CAreaRegionList() = default;
    ~CAreaRegionList();
    CAreaRegionList(const CAreaRegionList&) = delete;
    CAreaRegionList& operator=(const CAreaRegionList&) = delete;

    // Empties the list, then loads strDir + "/ARInfo.xml"; when that fails the list holds the
    // built-in area 0 and region 0. Always 1.
    int LoadFromDirectory(const char* szDir);
    // Deletes every area, region and group.
    void RemoveAll();

    // The three (four) arrays are emptied, then filled in list order. Always 1.
    int GetAllAreaInfo(CDWordArray& arrAreaIDs, CStringArray& arrNames,
                       CStringArray& arrDescs) const;
    int GetAllRegionInfo(CDWordArray& arrAreaIDs, CDWordArray& arrRegionIDs, CStringArray& arrNames,
                         CStringArray& arrDescs) const;
    // The caller's array is emptied without deleting what it pointed to, then receives newly
    // allocated copies that the caller owns. Always 1.
    int CopyAreas(CTagAreaArray* pAreas) const;
    int CopyRegions(CTagRegionGroupArray* pGroups) const;

    const CTagAreaArray& GetAreas() const { return m_arrAreas; }
    const CTagRegionGroupArray& GetRegionGroups() const { return m_arrRegionGroups; }

    // Whether a bound of CLoadARFile refused the file at the last load.
    CXmlDocument::Limit LimitHit() const { return m_limitHit; }

private:
    void AddDefaults();

    CTagRegionGroupArray m_arrRegionGroups;
    CTagAreaArray m_arrAreas;
    CXmlDocument::Limit m_limitHit = CXmlDocument::Limit::kNone;
};
