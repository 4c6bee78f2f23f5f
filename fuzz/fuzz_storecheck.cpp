// The store check on a directory of damaged files: a sound store of both sources (tags, an
// event, a task and both name trees) is copied, and the input's bytes are written into one of
// its files at a place the input chooses. The check may find anything, but must not crash, read
// out of bounds, or change, create or remove a file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "FuzzScratch.h"
#include "File.h"
#include "FileDypass.h"
#include "StoreCheck.h"
#include "TagRecords.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
    return fuzzscratch::Dir("check");
}

void AddTag(CFileDypass& e, int nType, int nSource, const char* name) {
    memtag::AnyTagRecord rec;
    rec.ResetAs(nType);
    std::snprintf(rec.s.szName, sizeof rec.s.szName, "%s", name);
    e.SetDataType(nType);
    e.SetDataSource(nSource);
    const int off = e.WriteTagRecord(&rec);
    if (off <= 0 || !e.AddIndexEntry(off, &rec))
        std::abort();
}

// The sound store, made once; its files by name, sorted.
const std::vector<fs::path>& Template() {
    static const std::vector<fs::path>* files = [] {
        const fs::path dir = Root() / "template";
        {
            CFileDypass e(CString(dir.c_str()), false);
            const char* names[] = {"FIC101", "TI-2", "SW3", "TXT4", "LEVEL5"};
            for (int i = 0; i < 5; ++i)
                AddTag(e, 1 + i % 4, 1 + i % 2, names[i]);
            Thing_Info ev{};
            ev.Reset();
            ev.nNo = 3;
            Task_Info task{};
            task.Reset();
            task.nNo = 4;
            e.SetDataSource(2);
            e.AddEvent(&ev);
            e.AddTask(&task);
            e.DeleteTag("SW3");
            if (!e.SaveNames())
                std::abort();
        }
        if (!CStoreCheck::CheckDirectory(CString(dir.c_str())).empty())
            std::abort();  // the template itself must be sound
        auto* v = new std::vector<fs::path>;
        for (const auto& entry : fs::directory_iterator(dir))
            v->push_back(entry.path());
        std::sort(v->begin(), v->end());
        return v;
    }();
    return *files;
}

std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        CFile f;
        std::string bytes;
        if (f.Open(entry.path().c_str(), CFile::modeRead | CFile::shareDenyNone))
            f.ReadAll(bytes);
        out[entry.path().filename()] = bytes;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const std::vector<fs::path>& files = Template();
    const fs::path work = Root() / "work";
    fs::remove_all(work);
    fs::create_directory(work);
    for (const fs::path& p : files)
        fs::copy_file(p, work / p.filename());

    // data[0]: the file; data[1]: where in it (a share of its length), from which the rest is
    // written; data[2] odd: the file ends after what was written.
    const fs::path target = work / files[data[0] % files.size()].filename();
    {
        CFile f;
        if (!f.Open(target.c_str(), CFile::modeReadWrite | CFile::shareDenyNone))
            std::abort();
        const long long len = f.GetLength();
        const std::uint64_t at = static_cast<std::uint64_t>(len) * data[1] / 255;
        f.WriteAt(at, data + 3, size - 3);
        if (data[2] & 1)
            f.SetLength(at + (size - 3));
    }
    const auto before = Snapshot(work);
    const std::vector<StoreFinding> findings = CStoreCheck::CheckDirectory(CString(work.c_str()));
    for (const StoreFinding& f : findings) {
        if (!before.count(f.strFile.str()))
            std::abort();  // a finding names a file of the store
    }
    if (Snapshot(work) != before)
        std::abort();
    return 0;
}
