// Looking a name up through the facade, found and not found, in a store of 10,000 tags: a name
// that is not found is the look-up that asks whether other programs changed the index (and,
// now and then, whether the change count's shared block still has its name).
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "BenchScratch.h"
#include "FileFace.h"
#include "TagRecords.h"

namespace {

constexpr int kTags = 10000;

std::string TagName(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "LOOK%06d", i);
    return buf;
}

// One store for the whole run, filled once.
CFileFace& Store() {
    static CFileFace* face = [] {
        const std::string dir = benchscratch::BenchDir() + "/lookup";
        auto* f = new CFileFace;
        f->SetConfigureFilePath(dir.c_str());
        for (int i = 0; i < kTags; ++i) {
            memtag::AnyTagRecord t;
            t.ResetAs(2);
            const std::string name = TagName(i);
            std::memcpy(t.s.szName, name.data(), name.size());
            f->AddData(2, 2, &t, CString());
        }
        return f;
    }();
    return *face;
}

void BM_LookupFound(benchmark::State& state) {
    CFileFace& face = Store();
    if (face.JustTagFromBRK(CString(TagName(0).c_str())) <= 0) {
        state.SkipWithError("the store was not filled");
        return;
    }
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(face.JustTagFromBRK(CString(TagName(i).c_str())));
        i = (i + 7919) % kTags;
    }
}

void BM_LookupMissing(benchmark::State& state) {
    CFileFace& face = Store();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(face.JustTagFromBRK(CString(TagName(kTags + i).c_str())));
        i = (i + 7919) % kTags;
    }
}

}  // namespace

BENCHMARK(BM_LookupFound);
BENCHMARK(BM_LookupMissing);

BENCHMARK_MAIN();
