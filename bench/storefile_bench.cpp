// Loading and saving urls.wfx of the 100,000-site store against the same records read from
// and written to SQLite in one transaction.
#include "bench/benchstores.h"
#include "bench/sqlitestore.h"
#include "bench/syntheticstore.h"
#include "model/sitedatabase.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <sys/stat.h>

namespace {
double FileMegabytes(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / 1e6 : 0.0;
}

std::string SqlitePath() {
    return std::string(LargeStoreFile()) + ".sqlite";
}

void BM_LoadUrlsWfx(benchmark::State& state) {
    const std::string path = LargeStoreFile();
    std::size_t sites = 0;
    for (auto _ : state) {
        auto database = std::make_unique<CSiteDatabase>();
        database->OpenReadOnly(path);
        sites = database->Sites().size();
        state.PauseTiming();
        database.reset();
        state.ResumeTiming();
    }
    state.counters["sites"] = static_cast<double>(sites);
    state.counters["file_MB"] = FileMegabytes(path);
}

void BM_SaveUrlsWfx(benchmark::State& state) {
    CSiteDatabase& database = LargeStore().Database();
    LargeStoreFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(database.Save());
}

void BM_SaveSqlite(benchmark::State& state) {
    CSiteDatabase& database = LargeStore().Database();
    bool ok = true;
    for (auto _ : state)
        ok = CSqliteStore::Write(database, SqlitePath()) && ok;
    state.counters["ok"] = ok ? 1 : 0;
    state.counters["file_MB"] = FileMegabytes(SqlitePath());
}

void BM_LoadSqlite(benchmark::State& state) {
    if (FileMegabytes(SqlitePath()) == 0.0)
        CSqliteStore::Write(LargeStore().Database(), SqlitePath());
    std::size_t sites = 0;
    for (auto _ : state) {
        auto records = std::make_unique<CSqliteStore::CRecords>();
        CSqliteStore::Read(SqlitePath(), *records);
        sites = records->sites.size();
        state.PauseTiming();
        records.reset();
        state.ResumeTiming();
    }
    state.counters["sites"] = static_cast<double>(sites);
}
} // namespace

BENCHMARK(BM_LoadUrlsWfx)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadSqlite)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SaveUrlsWfx)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveSqlite)->Unit(benchmark::kMillisecond)->Iterations(1);
