// Loading ARInfo.xml with many areas, and reading back an error file: both run at every
// construction or read, so the first must stay linear in the size of the file and the second
// bounded whatever its size.
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

// An error file of the size given (MiB): messages of 64 bytes, all of them in a file of 1 MiB;
// in a larger one a hole (a sparse file) lies between the first message and the newest 1 MiB.
// A read costs the same whatever the size.
void BM_ReadErrorFile(benchmark::State& state) {
    const std::string dir = BenchDir() + "/err";
    std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
    CFileDypass engine{CString(dir), false};
    CString first("first");
    engine.AddError(first);  // and the header
    std::string lines;
    for (int i = 0; lines.size() + 64 <= (std::size_t{1} << 20) - 64; ++i) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%-61d\r\n", i);
        lines += buf;
    }
    const auto size = static_cast<long>(state.range(0)) << 20;
    if (FILE* f = std::fopen((dir + "/TempErrFile.txt").c_str(), "r+b")) {
        if (size > (1L << 20))
            std::fseek(f, size - static_cast<long>(lines.size()), SEEK_SET);
        else
            std::fseek(f, 0, SEEK_END);
        std::fwrite(lines.data(), 1, lines.size(), f);
        std::fclose(f);
    }
    for (auto _ : state) {
        CStringArray arr;
        engine.GetErrStringArray(arr);
        benchmark::DoNotOptimize(arr.GetSize());
    }
}

}  // namespace

BENCHMARK(BM_LoadAreas)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadErrorFile)->Arg(1)->Arg(1024)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
