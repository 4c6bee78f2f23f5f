// The name index against std::map<std::string, int> as the in-memory bound: look-ups and
// insertions per second at 10,000, 100,000 and 500,000 keys, and loading and saving a tree of
// 100,000 keys. Order 10, as the store uses.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "BenchScratch.h"
#include "filebplustreenode.h"

namespace {

constexpr int kOrder = 10;

std::vector<std::string> Names(int n) {
    std::vector<std::string> v;
    v.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "AREA%02d.TAG_%07d.PV", i % 37, i);
        v.emplace_back(buf);
    }
    std::shuffle(v.begin(), v.end(), std::mt19937(42));
    return v;
}

using benchscratch::BenchDir;

std::string TreePath(int n) {
    return BenchDir() + "/bench" + std::to_string(n) + ".bpt";
}

void FillTree(FileBPlusTree& tree, const std::vector<std::string>& names) {
    tree.CreateInMemory(CString(TreePath(static_cast<int>(names.size()))), kOrder, 0);
    for (size_t i = 0; i < names.size(); ++i)
        tree.Insert(CMyKey(CString(names[i])), static_cast<int>(i) + 1, 1, nullptr);
}

void BM_TreeFind(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    FileBPlusTree tree;
    FillTree(tree, names);
    std::vector<CMyKey> keys(names.begin(), names.end());
    size_t i = 0;
    int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tree.Find(keys[i], nullptr, &value, nullptr));
        if (++i == keys.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_MapFind(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    std::map<std::string, int> map;
    for (size_t i = 0; i < names.size(); ++i)
        map[names[i]] = static_cast<int>(i) + 1;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.find(names[i]));
        if (++i == names.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_TreeInsert(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    std::vector<CMyKey> keys(names.begin(), names.end());
    for (auto _ : state) {
        FileBPlusTree tree;
        tree.CreateInMemory(CString(TreePath(0)), kOrder, 0);
        for (size_t i = 0; i < keys.size(); ++i)
            tree.Insert(keys[i], static_cast<int>(i) + 1, 1, nullptr);
        benchmark::DoNotOptimize(tree.GetRecordCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MapInsert(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::map<std::string, int> map;
        for (size_t i = 0; i < names.size(); ++i)
            map[names[i]] = static_cast<int>(i) + 1;
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_TreeSave(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    FileBPlusTree tree;
    FillTree(tree, names);
    for (auto _ : state)
        benchmark::DoNotOptimize(tree.SaveToFile(CString()));
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(tree.GetPath().str()));
}

void BM_TreeLoad(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    {
        FileBPlusTree tree;
        FillTree(tree, names);
        tree.SaveToFile(CString());
    }
    const CString path(TreePath(static_cast<int>(names.size())));
    for (auto _ : state) {
        FileBPlusTree tree;
        benchmark::DoNotOptimize(tree.LoadFromFile(path));
    }
}

// What the load's structure check costs by itself: the same walk over the loaded image.
void BM_TreeCheckStructure(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    FileBPlusTree tree;
    FillTree(tree, names);
    std::vector<FileBPlusTree::Fault> faults;
    for (auto _ : state) {
        faults.clear();
        benchmark::DoNotOptimize(tree.CheckStructure(faults));
    }
}

}  // namespace

BENCHMARK(BM_TreeFind)->Arg(10000)->Arg(100000)->Arg(500000);
BENCHMARK(BM_MapFind)->Arg(10000)->Arg(100000)->Arg(500000);
BENCHMARK(BM_TreeInsert)->Arg(10000)->Arg(100000)->Arg(500000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapInsert)->Arg(10000)->Arg(100000)->Arg(500000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeSave)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeLoad)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeCheckStructure)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(BenchDir());
    return 0;
}
