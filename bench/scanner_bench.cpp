// The page scanner (scan, title, keywords, links) against gumbo_parse on the same pages.
#include "bench/htmlcorpus.h"
#include "fetch/htmlscan.h"

#include <benchmark/benchmark.h>
#include <gumbo.h>

namespace {
const CHtmlCorpus& Corpus() {
    static const CHtmlCorpus corpus;
    return corpus;
}

void BM_Scanner(benchmark::State& state) {
    const CHtmlCorpus& corpus = Corpus();
    for (auto _ : state) {
        for (const std::string& page : corpus.Pages()) {
            CHtmlScan scan = CHtmlScan::Scan(page);
            benchmark::DoNotOptimize(scan.GetTitle());
            scan.ExtractKeywords();
            CLinkList links = scan.GetLinks("http://www.example.org/doc/page.html");
            benchmark::DoNotOptimize(links.GetCount());
            benchmark::DoNotOptimize(scan.Words().size());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.Bytes()));
    state.counters["pages"] = static_cast<double>(corpus.Pages().size());
    state.counters["found_files"] = static_cast<double>(corpus.FoundFiles());
    state.counters["corpus_MB"] = static_cast<double>(corpus.Bytes()) / (1024.0 * 1024.0);
}

void BM_GumboParse(benchmark::State& state) {
    const CHtmlCorpus& corpus = Corpus();
    for (auto _ : state) {
        for (const std::string& page : corpus.Pages()) {
            GumboOutput* output =
                gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
            benchmark::DoNotOptimize(output);
            gumbo_destroy_output(&kGumboDefaultOptions, output);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.Bytes()));
}
} // namespace

BENCHMARK(BM_Scanner)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GumboParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
