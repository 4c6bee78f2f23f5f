// memlist-demo: a host of the library, as the suite's programs use it.
//
// It takes the store directory from QLX_PATH_D_TEMP when that is set, else makes a fresh one;
// the areas and regions come from the sample data folder unless QLX_PATH_D_AREAINFO is set.
// A fresh store is filled with the sample configuration through the exported interface (or,
// with --plant N, with N generated tags of a plant); then the demo prints what the store holds
// (GB2312 converted to UTF-8 for the terminal). --search TEXT shows the tag page alone and,
// offscreen, pictures it enlarged with TEXT typed into its search field.
//
//   memlist-demo [--data DIR] [--shots DIR] [--no-browser] [--plant N] [--search TEXT]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Gb2312.h"
#include "MemTagList.h"
#include "Browser.h"
#include "Plant.h"
#include "SampleData.h"

namespace {

std::string U(const CString& gb) {
    return mlplat::GbToUtf8(gb.view());
}

}  // namespace

int main(int argc, char** argv) {
    std::string data = MEMLIST_DEMO_DATA;
    std::string shots, search;
    int nPlant = 0;
    bool bBrowser = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            data = argv[++i];
        else if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc)
            shots = argv[++i];
        else if (std::strcmp(argv[i], "--no-browser") == 0)
            bBrowser = false;
        else if (std::strcmp(argv[i], "--plant") == 0 && i + 1 < argc)
            nPlant = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--search") == 0 && i + 1 < argc)
            search = argv[++i];
    }

    std::string dir;
    if (const char* env = std::getenv("QLX_PATH_D_TEMP"); env && *env) {
        dir = env;
    } else {
        char templ[] = "/tmp/memlist-demo-XXXXXX";
        if (!mkdtemp(templ)) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = templ;
        setenv("QLX_PATH_D_TEMP", dir.c_str(), 1);
    }
    if (!std::getenv("QLX_PATH_D_AREAINFO"))
        setenv("QLX_PATH_D_AREAINFO", data.c_str(), 1);
    std::printf("store directory: %s\n", dir.c_str());

    CMemTagList list;
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> entries;
    list.GetTagArray(entries, 0);
    if (entries.GetSize() == 0 && nPlant > 0) {
        std::printf("plant: %d tags added\n", FillPlant(list, nPlant));
        list.GetTagArray(entries, 0);
    } else if (entries.GetSize() == 0) {
        SampleCounts n = LoadSampleData(list, data);
        std::printf(
            "loaded sample data: %d tags, %d events, %d tasks, %d struct objects, %d failed\n",
            n.nTags, n.nEvents, n.nTasks, n.nStructs, n.nFailed);
        list.GetTagArray(entries, 0);
    }
    std::printf("tags in the store: %d\n", entries.GetSize());

    CDWordArray areaNo;
    CStringArray areaName, areaDesc;
    list.GetAllAreaInfo(areaNo, areaName, areaDesc);
    for (int i = 0; i < areaNo.GetSize(); ++i)
        std::printf("  area %u %s: %s\n", areaNo[i], U(areaName[i]).c_str(),
                    U(areaDesc[i]).c_str());

    CMemTag tag;
    if (list.GetSelute("LIC101", tag) == 1)
        std::printf("GetSelute(LIC101) -> %s (%s), range %g..%g %s\n", U(tag.strName).c_str(),
                    U(tag.strDesc).c_str(), tag.dRangeLow, tag.dRangeHigh, U(tag.strUnit).c_str());

    if (bBrowser)
        RunBrowser(list, shots.empty() ? dir + "/shots" : shots, search);

    CStringArray messages;
    list.GetErrStringArray(messages);
    std::printf("error file: %d message(s)\n", messages.GetSize());
    for (const CString& m : messages)
        std::printf("  %s\n", U(m).c_str());
    return 0;
}
