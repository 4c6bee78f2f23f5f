// Parse time of the XML document against text length, for the shapes that could make a naive
// parser slow: many flat elements, deep nesting, deep nesting never closed (every element cut
// back and moved up), unmatched end tags under deep nesting, and one huge quoted attribute value.
#include <benchmark/benchmark.h>

#include <string>

#include "XmlDocument.h"

namespace {

std::string Flat(int n) {
    std::string s = "<CfgInfo>\r\n";
    for (int i = 0; i < n; ++i)
        s += "<Area ID=\"" + std::to_string(i) + "\" Name=\"n\"><Region AreaID=\"1\"/></Area>\r\n";
    return s + "</CfgInfo>";
}
std::string Deep(int n, bool bClose) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "<a>";
    if (bClose)
        for (int i = 0; i < n; ++i)
            s += "</a>";
    return s;
}
std::string HugeAttribute(int n) {
    return "<r v=\"" + std::string(static_cast<size_t>(n) * 8, 'x') + "\"/>";
}

template <std::string (*Make)(int)>
void BM_Parse(benchmark::State& state) {
    std::string text = Make(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CXmlDocument xml;
        benchmark::DoNotOptimize(xml.SetDoc(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.SetComplexityN(static_cast<int64_t>(text.size()));
}

std::string DeepClosed(int n) {
    return Deep(n, true);
}
std::string DeepOpen(int n) {
    return Deep(n, false);
}
// End tags that match nothing open, under deep nesting.
std::string DeepUnmatched(int n) {
    std::string s = Deep(n, false);
    for (int i = 0; i < n; ++i)
        s += "</b>";
    return s;
}

// Every document but the flat one is measured over the same sizes.
void DeepSizes(benchmark::internal::Benchmark* b) {
    b->RangeMultiplier(4)->Range(1 << 10, 1 << 18);
}

}  // namespace

BENCHMARK(BM_Parse<Flat>)->RangeMultiplier(4)->Range(1 << 8, 1 << 16)->Complexity(benchmark::oN);
BENCHMARK(BM_Parse<DeepClosed>)->Apply(DeepSizes)->Complexity(benchmark::oN);
BENCHMARK(BM_Parse<DeepOpen>)->Apply(DeepSizes)->Complexity(benchmark::oN);
BENCHMARK(BM_Parse<DeepUnmatched>)->Apply(DeepSizes)->Complexity(benchmark::oN);
BENCHMARK(BM_Parse<HugeAttribute>)->Apply(DeepSizes)->Complexity(benchmark::oN);

BENCHMARK_MAIN();
