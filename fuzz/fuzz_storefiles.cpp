// A store whose record and index files another program (or a crash) has damaged: the input's
// bytes replace the Brakk index and integer tag file, and the task file, while names still point
// into them. Every operation may fail; none may crash, read out of bounds or write anywhere but
// inside the files' own structure (checked: no file grows by more than the adds could make it).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "FuzzScratch.h"
#include "File.h"
#include "FileDypass.h"

namespace {

const std::string& Dir() {
    static const std::string dir = fuzzscratch::Dir("store").string();
    return dir;
}

CFileDypass& Engine() {
    static CFileDypass* engine = [] {
        auto* e = new CFileDypass;
        e->SetConfigureFilePath(Dir().c_str());
        return e;
    }();
    return *engine;
}

long long Size(const char* name) {
    struct stat st;
    return ::stat((Dir() + "/" + name).c_str(), &st) == 0 ? st.st_size : -1;
}

// Overwrites the file in place from 36 on (the header stays).
void Overwrite(const char* name, const uint8_t* data, size_t size) {
    CFile f;
    if (!f.Open((Dir() + "/" + name).c_str(), CFile::modeReadWrite))
        return;
    f.SetLength(36);
    f.WriteAt(36, data, size);
}

void FillInt(IntTagInfo& rec, const char* name) {
    rec.Reset();
    std::snprintf(rec.szName, sizeof rec.szName, "%s", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    CFileDypass& e = Engine();
    e.RemoveAllBRKFile(2);
    const char* names[] = {"A", "B", "C", "D"};
    IntTagInfo rec;
    for (const char* n : names) {
        FillInt(rec, n);
        e.SetDataType(2);
        e.SetDataSource(2);
        const int off = e.WriteTagRecord(&rec);
        if (off > 0)
            e.AddIndexEntry(off, &rec);
    }
    Task_Info task{};
    task.Reset();
    e.SetDataSource(2);
    for (int i = 0; i < 3; ++i) {
        task.nNo = i;
        e.AddTask(&task);
    }

    // Split the input over three files.
    const size_t a = data[0] * size / 256, b = a + (size - a) * data[1] / 256;
    Overwrite("TmpBrakkTagIndex.idx", data + 2, a > 2 ? a - 2 : 0);
    Overwrite("TmpBrakkIntTagInfo.tag", data + a, b - a);
    Overwrite("TmpBrakkTaskTagInfo.tag", data + b, size - b);
    // Cutting a file under a program that has it open is outside what the store allows (reads
    // go through mappings): the damaged files are opened afresh, as the next program would.
    e.SetConfigureFilePath(Dir().c_str());
    const long long before[3] = {Size("TmpBrakkTagIndex.idx"), Size("TmpBrakkIntTagInfo.tag"),
                                 Size("TmpBrakkTaskTagInfo.tag")};

    CMemTag tag;
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> idx;
    e.GetTagArray(idx, 0);
    for (int i = 0; i < idx.GetSize() && i < 64; ++i) {
        IntTagInfo buf;  // any entry's type may claim a bigger record: give it room
        FloatTagInfo big;
        e.GetTagInfoWithIdx(idx[i], idx[i].nDataType == 3 ? static_cast<void*>(&big) : &buf);
        e.GetTagInfoWithIdx(idx[i], tag);
    }
    CArray<CMemTag, CMemTag&> all;
    e.GetAllTags(all, 0);
    e.GetTagByName("A", tag);
    FillInt(rec, "B2");
    e.SetDataType(2);
    e.SetDataSource(2);
    const int off = e.RelinkTag(&rec, "B");
    if (off > 0)
        e.RewriteTagRecord(off, &rec);
    e.DeleteTag("C");
    e.DeleteTag("A");
    FillInt(rec, "E");
    e.SetDataType(2);
    e.SetDataSource(2);
    const int offE = e.WriteTagRecord(&rec);  // may reuse a listed slot
    if (offE > 0)
        e.AddIndexEntry(offE, &rec);
    e.SetDataSource(2);
    e.DelTask(1);
    task.nNo = 9;
    e.ModifyTask(&task, 2);
    e.AddTask(&task);
    e.GetAllTasks(all, 2);

    // One add per file at most: a file may grow by one record, its count and one list word.
    const long long after[3] = {Size("TmpBrakkTagIndex.idx"), Size("TmpBrakkIntTagInfo.tag"),
                                Size("TmpBrakkTaskTagInfo.tag")};
    const long long growth[3] = {40 + 2 + 8, 1006 + 2 + 8, 78 + 2 + 8};
    for (int i = 0; i < 3; ++i) {
        if (after[i] > before[i] + growth[i])
            std::abort();
    }
    return 0;
}
