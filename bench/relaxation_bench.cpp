// One relaxation pass over 10,000 visited sites and 10,000 words against one iteration of
// igraph's Fruchterman-Reingold layout without grid on a graph of the same node and edge
// counts: the 20,000 moving nodes, and one edge per word spring and per link spring (a link
// edge joins its site to another node of the graph, as igraph has no fixed nodes).
#include "bench/syntheticstore.h"
#include "model/maprelaxation.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <benchmark/benchmark.h>
#include <igraph/igraph.h>

#include <cmath>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {
CStoreShape RelaxationShape() {
    CStoreShape shape;
    shape.sites = 10000;
    shape.linksPerSite = 20;
    shape.wordsPerSite = 20;
    shape.vocabulary = 10000;
    shape.indexEveryWord = true;
    shape.categories = 0;
    return shape;
}

void BM_RelaxationPass(benchmark::State& state) {
    CSyntheticStore store(RelaxationShape());
    for (auto _ : state)
        RelaxMap(store.Database());
    // The same passes node by node on a second copy end in the same positions.
    CSyntheticStore fast(RelaxationShape()), literal(RelaxationShape());
    for (int pass = 0; pass < 3; ++pass) {
        // Nodes on one point draw random numbers: both passes start from the same seed.
        SeedRandom(static_cast<unsigned int>(pass + 1));
        RelaxMap(fast.Database());
        SeedRandom(static_cast<unsigned int>(pass + 1));
        RelaxMapLiteral(literal.Database());
    }
    bool same = true;
    for (std::size_t i = 0; i < fast.Database().Sites().size(); ++i) {
        const CSite& a = *fast.Database().Sites()[i];
        const CSite& b = *literal.Database().Sites()[i];
        same = same && a.m_x == b.m_x && a.m_y == b.m_y;
    }
    auto w = literal.Database().Words().begin();
    for (const auto& [text, word] : fast.Database().Words()) {
        same = same && word->m_x == w->second->m_x && word->m_y == w->second->m_y;
        ++w;
    }
    state.counters["same_positions"] = same ? 1 : 0;
    state.counters["sites"] = static_cast<double>(store.Database().Sites().size());
    state.counters["words"] = static_cast<double>(store.Database().Words().size());
}

void BM_RelaxationPassLiteral(benchmark::State& state) {
    CSyntheticStore store(RelaxationShape());
    for (auto _ : state)
        RelaxMapLiteral(store.Database());
}

void BM_IgraphFruchtermanReingoldOneIteration(benchmark::State& state) {
    CSyntheticStore store(RelaxationShape());
    const CSiteDatabase& database = store.Database();
    std::unordered_map<const CWordEntry*, igraph_integer_t> wordVertex;
    const auto sites = static_cast<igraph_integer_t>(database.Sites().size());
    igraph_integer_t next = sites;
    for (const auto& [text, word] : database.Words())
        wordVertex[word.get()] = next++;
    const igraph_integer_t vertices = next;

    igraph_vector_int_t edges;
    igraph_vector_int_init(&edges, 0);
    igraph_integer_t springs = 0;
    for (igraph_integer_t i = 0; i < sites; ++i) {
        const CSite& site = *database.Sites()[static_cast<std::size_t>(i)];
        for (const auto& [text, word] : site.m_words) {
            igraph_vector_int_push_back(&edges, i);
            igraph_vector_int_push_back(&edges, wordVertex[word]);
            ++springs;
        }
        for (std::size_t l = 0; l < site.m_links.size(); ++l) {
            igraph_vector_int_push_back(&edges, i);
            igraph_vector_int_push_back(
                &edges, (i * 7919 + static_cast<igraph_integer_t>(l) * 104729 + 1) % vertices);
            ++springs;
        }
    }
    igraph_t graph;
    igraph_create(&graph, &edges, vertices, IGRAPH_UNDIRECTED);
    igraph_matrix_t layout;
    igraph_matrix_init(&layout, vertices, 2);
    for (igraph_integer_t i = 0; i < sites; ++i) {
        MATRIX(layout, i, 0) = database.Sites()[static_cast<std::size_t>(i)]->m_x;
        MATRIX(layout, i, 1) = database.Sites()[static_cast<std::size_t>(i)]->m_y;
    }
    for (const auto& [word, vertex] : wordVertex) {
        MATRIX(layout, vertex, 0) = word->m_x;
        MATRIX(layout, vertex, 1) = word->m_y;
    }
    for (auto _ : state) {
        igraph_layout_fruchterman_reingold(&graph, &layout, /*use_seed=*/true, /*niter=*/1,
                                           /*start_temp=*/std::sqrt(double(vertices)) / 10.0,
                                           IGRAPH_LAYOUT_NOGRID, nullptr, nullptr, nullptr, nullptr,
                                           nullptr);
    }
    state.counters["vertices"] = static_cast<double>(vertices);
    state.counters["edges"] = static_cast<double>(springs);
    igraph_matrix_destroy(&layout);
    igraph_destroy(&graph);
    igraph_vector_int_destroy(&edges);
}
} // namespace

BENCHMARK(BM_RelaxationPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RelaxationPassLiteral)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_IgraphFruchtermanReingoldOneIteration)->Unit(benchmark::kMillisecond)->MinTime(2.0);
