// The area/region file and list: loading, sorting, fallbacks, copies and the default file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "FileDypass.h"
#include "LoadARFile.h"
#include "TestSupport.h"
#include "gbtext/PubTexts.h"

using mltest::Gb;

namespace {

std::string Doc(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<CfgInfo>\r\n" + body + "</CfgInfo>";
}

struct Loaded {
    mltest::TempDir dir;
    CAreaRegionList list;
    explicit Loaded(const std::string& bytes) {
        mltest::WriteFileBytes(dir / "ARInfo.xml", bytes);
        list.LoadFromDirectory(dir.path().c_str());
    }
};

std::vector<DWORD> AreaNumbers(const CAreaRegionList& list) {
    std::vector<DWORD> v;
    for (const CTagArea* a : list.GetAreas())
        v.push_back(a->nArea);
    return v;
}

void ExpectBuiltInDefaults(const CAreaRegionList& list) {
    ASSERT_EQ(list.GetAreas().GetSize(), 1);
    ASSERT_EQ(list.GetRegionGroups().GetSize(), 1);
    const CTagArea* a = list.GetAreas()[0];
    EXPECT_EQ(a->nArea, 0u);
    EXPECT_EQ(a->strName.str(), Gb("数据组0"));
    EXPECT_EQ(a->strDesc.str(), Gb("0号公共组"));
    const CTagRegionArray* g = list.GetRegionGroups()[0];
    ASSERT_EQ(g->GetSize(), 1);
    EXPECT_EQ(g->GetAt(0)->nArea, 0u);
    EXPECT_EQ(g->GetAt(0)->nRegion, 0u);
    EXPECT_EQ(g->GetAt(0)->strName.str(), Gb("0号公共区"));
    EXPECT_EQ(g->GetAt(0)->strDesc.str(), "");
}

}  // namespace

TEST(AreaRegionListLoad, NoFileOrABadFileGivesTheBuiltInArea) {
    mltest::TempDir dir;
    CAreaRegionList list;
    EXPECT_EQ(list.LoadFromDirectory(dir.path().c_str()), 1);
    ExpectBuiltInDefaults(list);

    Loaded bad(Doc("<Area ID=\"3\"><Region AreaID=\"3\" RegionID=\"1\"/>\r\n"));  // not ended
    ExpectBuiltInDefaults(bad.list);
}

TEST(AreaRegionListLoad, AreasSortByNumberKeepingFileOrderForEqualNumbers) {
    Loaded l(
        Doc("<Area ID=\"5\" Name=\"first\"><Region AreaID=\"5\" RegionID=\"1\" Name=\"r5a\"/>"
            "</Area>\r\n"
            "<Area ID=\"2\" Name=\"two\"><Region AreaID=\"2\" RegionID=\"1\" Name=\"r2\"/>"
            "</Area>\r\n"
            "<Area ID=\"5\" Name=\"second\"><Region AreaID=\"5\" RegionID=\"1\" "
            "Name=\"r5b\"/></Area>\r\n"));
    EXPECT_EQ(AreaNumbers(l.list), (std::vector<DWORD>{2, 5, 5}));
    EXPECT_EQ(l.list.GetAreas()[1]->strName.str(), "first");
    EXPECT_EQ(l.list.GetAreas()[2]->strName.str(), "second");
    const auto& groups = l.list.GetRegionGroups();
    ASSERT_EQ(groups.GetSize(), 3);
    EXPECT_EQ(groups[0]->GetAt(0)->strName.str(), "r2");
    EXPECT_EQ(groups[1]->GetAt(0)->strName.str(), "r5a");
    EXPECT_EQ(groups[2]->GetAt(0)->strName.str(), "r5b");
}

TEST(AreaRegionListLoad, RegionsSortByNumberWithinTheirArea) {
    Loaded l(
        Doc("<Area ID=\"1\">\r\n<Region AreaID=\"1\" RegionID=\"65536\"/>\r\n"
            "<Region AreaID=\"1\" RegionID=\"1\"/>\r\n<Region AreaID=\"1\" RegionID=\"3\"/>"
            "\r\n</Area>\r\n"));
    CDWordArray areas, regions;
    CStringArray names, descs;
    l.list.GetAllRegionInfo(areas, regions, names, descs);
    EXPECT_EQ(regions.vec(), (std::vector<DWORD>{1, 3, 65536}));
    EXPECT_EQ(areas.vec(), (std::vector<DWORD>{1, 1, 1}));
}

TEST(AreaRegionListLoad, NumbersAreDecimalWithTheLow32BitsKept) {
    Loaded l(
        Doc("<Area ID=\"abc\"><Region AreaID=\" -1\" RegionID=\"4294967297\"/></Area>\r\n"
            "<Area ID=\"  +7x\"><Region AreaID=\"7\" RegionID=\"-4294967295\"/></Area>\r\n"
            "<Area ID=\"99999999999999999999999\"/>\r\n"
            "<Area ID=\"-99999999999999999999999\"/>\r\n"
            "<Area ID=\"9223372036854775807\"/>\r\n"));
    // Out of the 64-bit range a number saturates: the largest gives 0xFFFFFFFF, the smallest 0.
    EXPECT_EQ(AreaNumbers(l.list), (std::vector<DWORD>{0, 0, 7, 4294967295u, 4294967295u}));
    EXPECT_EQ(l.list.GetAreas()[0]->nArea, 0u);
    CDWordArray a, r;
    CStringArray n, d;
    l.list.GetAllRegionInfo(a, r, n, d);
    // Groups sort by their regions' area number, so the -1 group goes last.
    EXPECT_EQ(a.vec(), (std::vector<DWORD>{7, 4294967295u}));
    EXPECT_EQ(r.vec(), (std::vector<DWORD>{1, 1}));
}

TEST(AreaRegionListLoad, AttributesMapToTheirFields) {
    Loaded l(Doc("<Area ID=\"4\" Name=\"n&amp;1\" Desc.=\"" + Gb("区域") +
                 "\" Other=\"x\">"
                 "<Region AreaID=\"4\" RegionID=\"2\" Name=\"rn\" Short=\"short &lt;s&gt;\" "
                 "Desc.=\"ignored\"/><Note/>text<!-- c --></Area>\r\n"));
    ASSERT_EQ(l.list.GetAreas().GetSize(), 1);
    const CTagArea* a = l.list.GetAreas()[0];
    EXPECT_EQ(a->nArea, 4u);
    EXPECT_EQ(a->strName.str(), "n&1");
    EXPECT_EQ(a->strDesc.str(), Gb("区域"));
    const CTagRegion* r = l.list.GetRegionGroups()[0]->GetAt(0);
    EXPECT_EQ(r->nArea, 4u);
    EXPECT_EQ(r->nRegion, 2u);
    EXPECT_EQ(r->strName.str(), "rn");
    EXPECT_EQ(r->strDesc.str(), "short <s>");
}

TEST(AreaRegionListLoad, OtherRootGivesAnEmptyListWithoutDefaults) {
    Loaded other("<Config><Area ID=\"1\"/></Config>");
    EXPECT_EQ(other.list.GetAreas().GetSize(), 0);
    EXPECT_EQ(other.list.GetRegionGroups().GetSize(), 0);
    Loaded noAreas(Doc("<Zone ID=\"1\"/>\r\n"));
    EXPECT_EQ(noAreas.list.GetAreas().GetSize(), 0);
    // A root named Area is read as the one area.
    Loaded areaRoot("<Area ID=\"9\"><Region AreaID=\"9\" RegionID=\"4\"/></Area>");
    EXPECT_EQ(AreaNumbers(areaRoot.list), (std::vector<DWORD>{9}));
    EXPECT_EQ(areaRoot.list.GetRegionGroups()[0]->GetAt(0)->nRegion, 4u);
}

TEST(AreaRegionListLoad, AreaWithoutRegionsIsGroupedByItsOwnNumber) {
    Loaded l(
        Doc("<Area ID=\"3\"><Region AreaID=\"3\" RegionID=\"1\"/></Area>\r\n"
            "<Area ID=\"1\"/>\r\n"
            "<Area ID=\"2\"><Region AreaID=\"2\" RegionID=\"1\"/></Area>\r\n"
            "<Area ID=\"0\"/>\r\n"));
    EXPECT_EQ(AreaNumbers(l.list), (std::vector<DWORD>{0, 1, 2, 3}));
    const auto& groups = l.list.GetRegionGroups();
    ASSERT_EQ(groups.GetSize(), 4);
    EXPECT_EQ(groups[0]->GetSize(), 0);
    EXPECT_EQ(groups[1]->GetSize(), 0);
    ASSERT_EQ(groups[2]->GetSize(), 1);
    EXPECT_EQ(groups[2]->GetAt(0)->nArea, 2u);
    ASSERT_EQ(groups[3]->GetSize(), 1);
    EXPECT_EQ(groups[3]->GetAt(0)->nArea, 3u);
}

TEST(AreaRegionListLoad, GroupsFollowTheirRegionsAreaNumber) {
    // A region that names another area than its parent places its group by that number.
    Loaded l(
        Doc("<Area ID=\"1\"><Region AreaID=\"8\" RegionID=\"1\" Name=\"x\"/></Area>\r\n"
            "<Area ID=\"2\"><Region AreaID=\"2\" RegionID=\"1\" Name=\"y\"/></Area>\r\n"));
    EXPECT_EQ(AreaNumbers(l.list), (std::vector<DWORD>{1, 2}));
    EXPECT_EQ(l.list.GetRegionGroups()[0]->GetAt(0)->strName.str(), "y");
    EXPECT_EQ(l.list.GetRegionGroups()[1]->GetAt(0)->strName.str(), "x");
}

TEST(AreaRegionListLoad, ReloadingReplacesInsteadOfRepeating) {
    Loaded l(Doc("<Area ID=\"1\"><Region AreaID=\"1\" RegionID=\"1\"/></Area>\r\n"));
    l.list.LoadFromDirectory(l.dir.path().c_str());
    l.list.LoadFromDirectory(l.dir.path().c_str());
    EXPECT_EQ(AreaNumbers(l.list), (std::vector<DWORD>{1}));
    EXPECT_EQ(l.list.GetRegionGroups().GetSize(), 1);
    mltest::TempDir empty;
    l.list.LoadFromDirectory(empty.path().c_str());
    ExpectBuiltInDefaults(l.list);
}

TEST(AreaRegionFile, LoaderAddsToTheArraysItIsGivenAndLeavesThemOnFailure) {
    mltest::TempDir dir;
    CTagRegionGroupArray groups;
    CTagAreaArray areas;
    EXPECT_EQ(CLoadARFile::LoadAreaRegions(dir.path(), &groups, &areas), 0);
    EXPECT_EQ(areas.GetSize(), 0);
    mltest::WriteFileBytes(dir / "other.xml",
                           Doc("<Area ID=\"2\"><Region AreaID=\"2\" RegionID=\"0\"/></Area>"));
    EXPECT_EQ(CLoadARFile::LoadAreaRegions("", &groups, &areas, CString((dir / "other.xml"))), 1);
    EXPECT_EQ(CLoadARFile::LoadAreaRegions("", &groups, &areas, CString((dir / "other.xml"))), 1);
    EXPECT_EQ(areas.GetSize(), 2);
    EXPECT_EQ(groups.GetSize(), 2);
    CLoadARFile::FreeAll(&groups, &areas);
}

TEST(AreaRegionListQuery, ListingsEmptyTheCallersArraysFirst) {
    Loaded l(
        Doc("<Area ID=\"2\" Name=\"b\" Desc.=\"B\"><Region AreaID=\"2\" RegionID=\"7\" "
            "Name=\"r\" Short=\"s\"/></Area>\r\n<Area ID=\"1\" Name=\"a\" Desc.=\"A\"/>\r\n"));
    CDWordArray ids;
    CStringArray names, descs;
    ids.Add(99);
    names.Add("stale");
    descs.Add("stale");
    EXPECT_EQ(l.list.GetAllAreaInfo(ids, names, descs), 1);
    EXPECT_EQ(ids.vec(), (std::vector<DWORD>{1, 2}));
    ASSERT_EQ(names.GetSize(), 2);
    EXPECT_EQ(names[0].str(), "a");
    EXPECT_EQ(descs[1].str(), "B");

    CDWordArray areaIds, regionIds;
    areaIds.Add(5);
    regionIds.Add(5);
    EXPECT_EQ(l.list.GetAllRegionInfo(areaIds, regionIds, names, descs), 1);
    EXPECT_EQ(areaIds.vec(), (std::vector<DWORD>{2}));
    EXPECT_EQ(regionIds.vec(), (std::vector<DWORD>{7}));
    ASSERT_EQ(names.GetSize(), 1);
    EXPECT_EQ(names[0].str(), "r");
    EXPECT_EQ(descs[0].str(), "s");
}

TEST(AreaRegionListQuery, CopiesAreIndependentAndOwnedByTheCaller) {
    Loaded l(
        Doc("<Area ID=\"1\" Name=\"a\"><Region AreaID=\"1\" RegionID=\"1\" Name=\"r1\"/>"
            "<Region AreaID=\"1\" RegionID=\"2\" Name=\"r2\"/></Area>\r\n"));
    auto keep = std::make_unique<CTagArea>();  // the copy must not delete what was there
    CTagAreaArray areas;
    areas.Add(keep.get());
    EXPECT_EQ(l.list.CopyAreas(&areas), 1);
    ASSERT_EQ(areas.GetSize(), 1);
    EXPECT_NE(areas[0], l.list.GetAreas()[0]);
    EXPECT_NE(areas[0], keep.get());
    areas[0]->strName = "changed";
    EXPECT_EQ(l.list.GetAreas()[0]->strName.str(), "a");
    delete areas[0];

    auto keepGroup = std::make_unique<CTagRegionArray>();
    CTagRegionGroupArray groups;
    groups.Add(keepGroup.get());
    EXPECT_EQ(l.list.CopyRegions(&groups), 1);
    ASSERT_EQ(groups.GetSize(), 1);
    ASSERT_EQ(groups[0]->GetSize(), 2);
    EXPECT_NE(groups[0], l.list.GetRegionGroups()[0]);
    EXPECT_NE(groups[0]->GetAt(1), l.list.GetRegionGroups()[0]->GetAt(1));
    EXPECT_EQ(groups[0]->GetAt(1)->strName.str(), "r2");
    for (CTagRegion* r : *groups[0])
        delete r;
    delete groups[0];
}

TEST(AreaRegionFile, DefaultFileBytes) {
    mltest::TempDir dir;
    std::string sub = dir / "info";
    EXPECT_EQ(CLoadARFile::WriteDefaultFile(sub.c_str(), 0), 1);
    std::string expected =
        "<?xml version = \"1.0\" encoding = \"gb2312\"?>\r\n"
        "<!-- Default Setting -->\r\n"
        "<CfgInfo>\r\n"
        "<Area ID=\"0\" Name=\"0\" Desc.=\"" +
        Gb("公共组0组") +
        "\">\r\n"
        "<Region AreaID=\"0\" RegionID=\"0\" Name=\"" +
        Gb("公共区0区") +
        "\" Short=\"\"/>\r\n"
        "</Area>\r\n"
        "<Area ID=\"1\" Name=\"1\" Desc.=\"" +
        Gb("数据分组") +
        "\">\r\n"
        "<Region AreaID=\"1\" RegionID=\"65536\" Name=\"" +
        Gb("数据分区") +
        "\" Short=\"\"/>\r\n"
        "</Area>\r\n"
        "</CfgInfo>";
    EXPECT_EQ(mltest::ReadFileText(sub + "/ARInfo.xml"), expected);

    CAreaRegionList list;
    list.LoadFromDirectory(sub.c_str());
    EXPECT_EQ(AreaNumbers(list), (std::vector<DWORD>{0, 1}));
    CDWordArray a, r;
    CStringArray n, d;
    list.GetAllRegionInfo(a, r, n, d);
    EXPECT_EQ(r.vec(), (std::vector<DWORD>{0, 65536}));
    EXPECT_EQ(n[1].str(), Gb("数据分区"));
}

TEST(AreaRegionFile, DefaultFileKeepsOrOverwritesAnExistingFile) {
    mltest::TempDir dir;
    mltest::WriteFileBytes(dir / "ARInfo.xml", "mine");
    EXPECT_EQ(CLoadARFile::WriteDefaultFile(dir.path(), 0), 1);
    EXPECT_EQ(mltest::ReadFileText(dir / "ARInfo.xml"), "mine");
    EXPECT_EQ(CLoadARFile::WriteDefaultFile(dir.path(), 1), 1);
    EXPECT_EQ(mltest::ReadFileText(dir / "ARInfo.xml"), CLoadARFile::BuildDefaultDocument().str());
    // Only one level is created.
    EXPECT_EQ(CLoadARFile::WriteDefaultFile((dir / "no/such").c_str(), 1), 0);
}

TEST(AreaRegionTexts, BuiltInTextsAreGb2312) {
    EXPECT_EQ(std::string(gbtext::DefaultAreaName), Gb("数据组0"));
    EXPECT_EQ(std::string(gbtext::DefaultAreaDesc), Gb("0号公共组"));
    EXPECT_EQ(std::string(gbtext::DefaultRegionName), Gb("0号公共区"));
}

TEST(AreaRegionListLoad, AFileTooLargeOrTooDeepGivesTheBuiltInAreaAndAMessage) {
    auto nested = [](int nDepth) {
        // CfgInfo and Area are the first two levels.
        std::string open, close;
        for (int i = 2; i < nDepth; ++i) {
            open += "<x>";
            close += "</x>";
        }
        return Doc("<Area ID=\"5\">" + open + close + "</Area>\r\n");
    };
    {
        Loaded deepest(nested(CLoadARFile::kMaxDepth));
        EXPECT_EQ(AreaNumbers(deepest.list), std::vector<DWORD>{5});
        EXPECT_EQ(deepest.list.LimitHit(), CXmlDocument::Limit::kNone);
    }
    {
        Loaded tooDeep(nested(CLoadARFile::kMaxDepth + 1));
        ExpectBuiltInDefaults(tooDeep.list);
        EXPECT_EQ(tooDeep.list.LimitHit(), CXmlDocument::Limit::kTooDeep);
    }
    // Sparse files: the bound is looked at before anything is read.
    mltest::TempDir areas;
    const std::string path = areas / "ARInfo.xml";
    mltest::WriteFileBytes(path, Doc("<Area ID=\"5\"/>\r\n"));
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(CLoadARFile::kMaxFileBytes)), 0);
    CAreaRegionList list;
    list.LoadFromDirectory(areas.path().c_str());
    EXPECT_EQ(AreaNumbers(list), std::vector<DWORD>{5});
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(CLoadARFile::kMaxFileBytes) + 1), 0);
    list.LoadFromDirectory(areas.path().c_str());
    ExpectBuiltInDefaults(list);

    // The store says why its areas are the built-in ones.
    mltest::TempDir store;
    { CFileDypass tooLarge(CString(store.path().c_str()), false, CString(areas.path().c_str())); }
    mltest::WriteFileBytes(path, nested(CLoadARFile::kMaxDepth + 1));
    {
        CFileDypass engine(CString(store.path().c_str()), false, CString(areas.path().c_str()));
        EXPECT_EQ(mltest::Messages(engine),
                  (std::vector<std::string>{
                      Gb("区域文件" + path + "大于33554432字节，未读入，使用默认区域！"),
                      Gb("区域文件" + path + "的元素嵌套超过64层，未读入，使用默认区域！")}));
    }
}
