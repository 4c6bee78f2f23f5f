// Loading ARInfo.xml with many areas, and reading back an error file with one long line: both
// run at every construction or read, so both must stay linear in the size of the file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "BenchScratch.h"
#include "FileDypass.h"
#include "LoadARFile.h"

namespace {

using benchscratch::BenchDir;

void WriteFile(const std::string& path, const std::string& text) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

// Areas numbered out of order (and some numbers twice), each with two regions out of order.
void BM_LoadAreas(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::string doc = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<CfgInfo>\r\n";
    for (int i = 0; i < n; ++i) {
        const std::string id = std::to_string((i * 7919) % n);
        doc += "<Area ID=\"" + id + "\" Name=\"a" + id + "\" Desc.=\"area " + id + "\">\r\n";
        doc += "<Region AreaID=\"" + id + "\" RegionID=\"2\" Name=\"r2\" Short=\"\"/>\r\n";
        doc += "<Region AreaID=\"" + id + "\" RegionID=\"1\" Name=\"r1\" Short=\"\"/>\r\n";
        doc += "</Area>\r\n";
    }
    doc += "</CfgInfo>";
    const std::string dir = BenchDir() + "/areas" + std::to_string(n);
    std::system(("mkdir -p " + dir).c_str());
    WriteFile(dir + "/ARInfo.xml", doc);
    for (auto _ : state) {
        CAreaRegionList list;
        list.LoadFromDirectory(dir.c_str());
        benchmark::DoNotOptimize(list.GetAreas().GetSize());
    }
}

void BM_ReadErrorLine(benchmark::State& state) {
    const std::string dir = BenchDir() + "/err";
    std::system(("mkdir -p " + dir).c_str());
    CFileDypass engine{CString(dir), false};
    CString first("first");
    engine.AddError(first);  // the header
    CString line(std::string(static_cast<size_t>(state.range(0)) << 20, 'x'));
    engine.AddError(line);
    for (auto _ : state) {
        CStringArray arr;
        engine.GetErrStringArray(arr);
        benchmark::DoNotOptimize(arr.GetSize());
    }
}

}  // namespace

BENCHMARK(BM_LoadAreas)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadErrorLine)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
