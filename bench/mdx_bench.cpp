// Production index figures on a journal-sized tag: 1,000,000 date keys over
// about three years, in record order with some records dated earlier than the
// one before them (as operators enter late movements).
//
//   mdx_bench                 Google Benchmark run (rebuild, scan, seek, insert, open)
//   mdx_bench --scan FILE     one ordered scan of tag 0 of FILE, for measuring
//                             peak memory from outside (e.g. /usr/bin/time -v)
#include "archive/dbase/mdx_index.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <random>

using namespace dbase;

namespace {

constexpr uint32_t kRecords = 1000000;

std::vector<IndexEntry> journalEntries() {
    std::vector<IndexEntry> entries;
    entries.reserve(kRecords);
    std::mt19937 rng(42);
    const QDate start(2022, 12, 26);
    for (uint32_t r = 1; r <= kRecords; ++r) {
        int day = int(uint64_t(r) * 1000 / kRecords);
        if (rng() % 100 == 0) day = std::max(0, day - int(rng() % 30));
        const QDate date = (rng() % 100 == 0) ? QDate() : start.addDays(day);
        entries.push_back({MdxIndex::dateKey(date), r});
    }
    return entries;
}

struct Journal {
    QTemporaryDir dir;
    QString path;
    QByteArray medianKey;
    Journal() {
        path = dir.filePath(QStringLiteral("GIORNALE3.MDX"));
        auto index = MdxIndex::create(
            path, {{QStringLiteral("DATA"), QStringLiteral("DATA"), KeyType::Date, 8}});
        auto entries = journalEntries();
        medianKey = MdxIndex::dateKey(QDate(2022, 12, 26).addDays(500));
        index->rebuild(0, std::move(entries));
        index->sync();
    }
};

Journal& journal() {
    static Journal j;
    return j;
}

void BM_RebuildDates(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("R.MDX"));
    auto index = MdxIndex::create(
        path, {{QStringLiteral("DATA"), QStringLiteral("DATA"), KeyType::Date, 8}});
    for (auto _ : state) {
        state.PauseTiming();
        auto entries = journalEntries();
        state.ResumeTiming();
        index->rebuild(0, std::move(entries));
        index->flush();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRecords);
}
BENCHMARK(BM_RebuildDates)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ScanNext(benchmark::State& state) {
    auto index = MdxIndex::open(journal().path, false);
    uint64_t n = 0;
    for (auto _ : state) {
        n = 0;
        for (auto e = index->first(0); e; e = index->next(0, *e)) ++n;
        benchmark::DoNotOptimize(n);
    }
    if (n != kRecords) state.SkipWithError("wrong entry count");
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_ScanNext)->Unit(benchmark::kMillisecond);

void BM_ScanNextColdOpen(benchmark::State& state) {
    for (auto _ : state) {
        auto index = MdxIndex::open(journal().path, false);
        uint64_t n = 0;
        for (auto e = index->first(0); e; e = index->next(0, *e)) ++n;
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRecords);
}
BENCHMARK(BM_ScanNextColdOpen)->Unit(benchmark::kMillisecond);

void BM_SeekMedian(benchmark::State& state) {
    auto index = MdxIndex::open(journal().path, false);
    for (auto _ : state) benchmark::DoNotOptimize(index->seek(0, journal().medianKey));
}
BENCHMARK(BM_SeekMedian)->Unit(benchmark::kMicrosecond);

void BM_SeekMedianColdOpen(benchmark::State& state) {
    for (auto _ : state) {
        auto index = MdxIndex::open(journal().path, false);
        benchmark::DoNotOptimize(index->seek(0, journal().medianKey));
    }
}
BENCHMARK(BM_SeekMedianColdOpen)->Unit(benchmark::kMicrosecond);

void BM_AppendInsertAndFlush(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("A.MDX"));
    QFile::copy(journal().path, path);
    auto index = MdxIndex::open(path, true);
    uint32_t recno = kRecords;
    const QByteArray today = MdxIndex::dateKey(QDate(2025, 10, 11));
    for (auto _ : state) {
        index->insert(0, today, ++recno);
        index->flush();
    }
}
BENCHMARK(BM_AppendInsertAndFlush)->Unit(benchmark::kMicrosecond);

void BM_Verify(benchmark::State& state) {
    for (auto _ : state) {
        auto index = MdxIndex::open(journal().path, false);
        benchmark::DoNotOptimize(index->verify());
    }
}
BENCHMARK(BM_Verify)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--scan") == 0) {
        auto index = MdxIndex::open(QString::fromLocal8Bit(argv[2]), false);
        uint64_t n = 0;
        for (auto e = index->first(0); e; e = index->next(0, *e)) ++n;
        std::printf("%llu entries\n", static_cast<unsigned long long>(n));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--make") == 0) {
        auto index =
            MdxIndex::create(QString::fromLocal8Bit(argv[2]),
                             {{QStringLiteral("DATA"), QStringLiteral("DATA"), KeyType::Date, 8}});
        index->rebuild(0, journalEntries());
        index->sync();
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
