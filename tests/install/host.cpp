// A host built against the installed library, as the suite's programs are: it must find the
// headers, link, load the path service beside the library and use the whole store end to end.
// Prints "host: ok" and exits 0, or names the first step that failed and exits 1.
#include <MemTagList.h>
#include <TagAreaRegion.h>
#include <TagRecords.h>

#include <cstdio>
#include <cstring>

namespace {

int g_failures = 0;

void Check(bool ok, const char* step) {
    if (!ok) {
        std::printf("host: FAILED: %s\n", step);
        ++g_failures;
    }
}

template <class T>
T Tag(const char* name, int area) {
    T r;
    r.Reset();
    std::strncpy(r.szName, name, sizeof r.szName - 1);
    r.nArea = area;
    return r;
}

}  // namespace

int main() {
    CMemTagList list;
    list.RemoveErrorFile();

    // Tags of all four types in both sources.
    BoolTagInfo b = Tag<BoolTagInfo>("XV101", 1);
    IntTagInfo i = Tag<IntTagInfo>("FQ101", 1);
    i.nRangeHigh = 5000;
    FloatTagInfo f = Tag<FloatTagInfo>("TI101", 2);
    f.dRangeHigh = 600.5;
    std::strcpy(f.szUnit, "C");
    StringTagInfo s = Tag<StringTagInfo>("MSG101", 3);
    Check(list.AddData(1, 2, &b, "") == 1, "add boolean tag");
    Check(list.AddData(2, 1, &i, "") == 1, "add integer tag");
    Check(list.AddData(3, 2, &f, "") == 1, "add real tag");
    Check(list.AddData(4, 1, &s, "") == 1, "add string tag");
    Check(list.JustTagFromBRK("XV101") != 0 && list.JustTagFromRMP("FQ101") != 0, "tags found");

    CMemTag tag;
    Check(list.GetSelute("TI101", tag) == 1 && tag.dRangeHigh == 600.5 && tag.strUnit == "C",
          "look up a real tag");
    FloatTagInfo f2 = Tag<FloatTagInfo>("TI102", 2);
    Check(list.ModifyData(3, 2, &f2, "TI101", "") == 1, "rename a tag");
    Check(list.GetSelute("TI101", tag) == 0 && list.GetSelute("TI102", tag) == 1, "renamed");

    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> entries;
    Check(list.GetTagArray(entries, 0) == 1 && entries.GetSize() == 4, "list index entries");
    FloatTagInfo raw;
    bool found = false;
    for (const _INDEX_STRUCT& e : entries)
        if (e.nDataType == 3)
            found = list.GetTagInfoWithIdx(e, &raw) == 1;
    Check(found && std::strcmp(raw.szName, "TI102") == 0, "read a record by its index entry");

    // Events, tasks and struct objects.
    Thing_Info ev{};
    ev.nNo = 12;
    ev.Reset();
    Task_Info task{};
    task.nNo = 7;
    task.Reset();
    StructObject_Info obj;
    obj.Reset();
    std::strcpy(obj.szObjName, "LIC101");
    std::strcpy(obj.szStructType, "#LOOP");
    FloatTagInfo pv = Tag<FloatTagInfo>("LIC101.PV", 1);
    Check(list.AddEvent(2, &ev) == 1 && list.AddTask(1, &task) == 1, "add event and task");
    Check(list.AddStruct(2, &obj) == 1 && list.AddData(3, 2, &pv, "#LOOP") == 1, "add struct");
    Check(list.GetSelute("LIC101", tag) == 1 && tag.strName == "LIC101.PV", "struct member");
    CArray<StructObject_Info, StructObject_Info> objs;
    Check(list.GetSpecyStructObj("#LOOP", objs, 0) == 1 && objs.GetSize() == 1, "struct listing");

    // Backup, damage, recovery.
    Check(list.BackupAsOldFile(2) == 1, "back up Brakk");
    Check(list.DelData("XV101") == 1 && list.JustTagFromBRK("XV101") == 0, "delete a tag");
    Check(list.RecoverWithOldFile(2) == 1 && list.JustTagFromBRK("XV101") != 0, "recover Brakk");

    // Areas and regions (the built-in ones without ARInfo.xml).
    CTagAreaArray areas;
    Check(list.GetAllAreaInfo(&areas) == 1 && areas.GetSize() >= 1, "copy the areas");
    for (CTagArea* a : areas)
        delete a;
    CTagRegionGroupArray groups;
    Check(list.GetAllRegionInfo(&groups) == 1, "copy the regions");
    for (CTagRegionArray* g : groups) {
        for (CTagRegion* r : *g)
            delete r;
        delete g;
    }

    // Removal and the error file.
    Check(list.RemoveAllBRKFile(2) == 1 && list.JustTagFromBRK("XV101") == 0, "empty Brakk");
    Check(list.RemoveAllRMPFile(1) == 1 && list.JustTagFromRMP("FQ101") == 0, "empty ZuZir");
    Check(list.DelTask(1, 7) == -1, "task gone with its source");
    CStringArray messages;
    Check(list.GetErrStringArray(messages) != 0 && messages.GetSize() >= 1, "read the messages");

    if (g_failures)
        return 1;
    std::puts("host: ok");
    return 0;
}
