// Categorizing one new page against the 100,000-site store: through the category index
// against the walk over every site of every category.
#include "bench/benchstores.h"
#include "bench/syntheticstore.h"
#include "model/categorizer.h"
#include "model/category.h"
#include "model/categorytree.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {
const CCategorizerWeights kWeights{0.5, 0.5, 0.5};

CSite* NewPage() {
    static CSite* page = LargeStore().AddNewPage(4242);
    return page;
}

std::vector<double> Scores(const CCategoryTree& tree) {
    std::vector<double> scores;
    for (int i = 0; i < tree.SlotCount(); ++i)
        scores.push_back(tree.CategoryAt(i) ? tree.CategoryAt(i)->m_score : -1.0);
    return scores;
}

void BM_CategorizeIndexed(benchmark::State& state) {
    CCategoryTree& tree = LargeStore().Categories();
    CSite* page = NewPage();
    // The index is made at the first run (the benchmark library calls this function more than
    // once).
    static const double firstRunMs = [&] {
        const auto start = std::chrono::steady_clock::now();
        CCategorizer::Categorize(tree, *page, kWeights);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }();
    for (auto _ : state)
        benchmark::DoNotOptimize(CCategorizer::Categorize(tree, *page, kWeights));
    const std::vector<double> scores = Scores(tree);
    const std::vector<int> ranking = tree.Ranking();
    CCategorizer::CategorizeLiteral(tree, *page, kWeights);
    state.counters["first_run_ms"] = firstRunMs;
    state.counters["identical"] = scores == Scores(tree) && ranking == tree.Ranking() ? 1 : 0;
}

void BM_CategorizeLiteral(benchmark::State& state) {
    CCategoryTree& tree = LargeStore().Categories();
    CSite* page = NewPage();
    for (auto _ : state)
        benchmark::DoNotOptimize(CCategorizer::CategorizeLiteral(tree, *page, kWeights));
}
} // namespace

BENCHMARK(BM_CategorizeIndexed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CategorizeLiteral)->Unit(benchmark::kMillisecond)->MinTime(2.0);
