// SQL over the archive beside SQLite on native tables holding the same rows:
// the movement list (journal joined with magazines, ordered by date, type and
// issue key), one issue's history, and the cascade delete of a magazine.
//
//   build/.../bench/sql_bench [--benchmark_...]     data in $TASMERO_BENCH_DIR or
//   /tmp/tasmero-bench-sql
//
// TASMERO_BENCH_REUSE=1 keeps the data of an earlier run (the cascade delete
// then finds fewer records). TASMERO_BENCH_DUMP=<file> writes the movement
// list as text, one row a line, so the results of two builds can be compared.
// The *_SQLiteNativeStored benchmarks run the native tables through Query,
// which stores every row as the windows need it; the plain native ones only
// step through the rows.
#include "archive_data.h"

#include "archive/sql/query.h"
#include "archive/sql/sql_database.h"
#include "archive/statements.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

const bench::ArchiveSize kSize;
QString folder;
QString nativePath;

void readAll(sql::Query& q, benchmark::State& state) {
    double sum = 0;
    qint64 chars = 0;
    for (q.first(); !q.eof(); q.next()) {
        sum += q.number(5);
        chars += q.text(0).size();
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(chars);
    state.counters["rows"] = q.recordCount();
}

void BM_MovementList_Engine(benchmark::State& state) {
    sql::Database db(folder);
    for (auto _ : state) {
        sql::Query q(db);
        q.setText(archive::statements::kStampa2);
        q.open();
        readAll(q, state);
    }
}

void BM_MovementList_SQLiteNative(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(nativePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const QByteArray sql = archive::statements::kStampa2.toUtf8();
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        double sum = 0;
        qint64 chars = 0;
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += sqlite3_column_double(st, 5);
            chars +=
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))).size();
            ++rows;
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(chars);
        state.counters["rows"] = rows;
    }
    sqlite3_close(db);
}

void BM_IssueHistory_Engine(benchmark::State& state) {
    sql::Database db(folder);
    int issue = 17;
    for (auto _ : state) {
        sql::Query q(db);
        q.setText(archive::statements::kIssueHistory);
        q.bind(1, bench::sampleIssueKey(issue, kSize));
        q.open();
        q.last();
        state.counters["rows"] = q.recordCount();
        issue += 7919;
    }
}

void BM_IssueHistory_SQLiteNative(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(nativePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const QByteArray sql = archive::statements::kIssueHistory.toUtf8();
    int issue = 17;
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        const QByteArray key = bench::sampleIssueKey(issue, kSize).toUtf8();
        sqlite3_bind_text(st, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) ++rows;
        sqlite3_finalize(st);
        state.counters["rows"] = rows;
        issue += 7919;
    }
    sqlite3_close(db);
}

// Each run deletes another magazine with its stock and journal records.
void BM_CascadeDelete_Engine(benchmark::State& state) {
    sql::Database db(folder);
    int magazine = 101;
    for (auto _ : state) {
        const QString barcode = bench::sampleBarcode(magazine);
        int deleted = 0;
        for (const QString& text :
             {archive::statements::kDeleteStock, archive::statements::kDeleteJournal}) {
            sql::Query q(db);
            q.setText(text);
            q.bind(1, barcode);
            deleted += q.execute();
        }
        state.counters["records"] = deleted;
        magazine += 997;
    }
}

void BM_CascadeDelete_SQLiteNative(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open(nativePath.toUtf8().constData(), &db);
    sqlite3_exec(db, "pragma synchronous=full", nullptr, nullptr, nullptr);
    int magazine = 101;
    for (auto _ : state) {
        const QByteArray barcode = bench::sampleBarcode(magazine).toUtf8();
        int deleted = 0;
        for (const QString& text :
             {archive::statements::kDeleteStock, archive::statements::kDeleteJournal}) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, text.toUtf8().constData(), -1, &st, nullptr);
            sqlite3_bind_text(st, 1, barcode.constData(), int(barcode.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
            deleted += sqlite3_changes(db);
            sqlite3_finalize(st);
        }
        state.counters["records"] = deleted;
        magazine += 997;
    }
    sqlite3_close(db);
}

// The native tables through the same materialization: a connection of ours
// that has no .dbf tables of its own, with the native file attached.
void BM_MovementList_SQLiteNativeStored(benchmark::State& state) {
    const QString empty = folder + QStringLiteral("/no-tables");
    QDir().mkpath(empty);
    sql::Database db(empty);
    const QByteArray attach =
        QStringLiteral("attach database '%1' as native").arg(nativePath).toUtf8();
    sqlite3_exec(db.handle(), attach.constData(), nullptr, nullptr, nullptr);
    for (auto _ : state) {
        sql::Query q(db);
        q.setText(archive::statements::kStampa2);
        q.open();
        readAll(q, state);
    }
}

void dumpMovementList(const QString& path) {
    sql::Database db(folder);
    sql::Query q(db);
    q.setText(archive::statements::kStampa2);
    q.open();
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    QByteArray lines;
    for (q.first(); !q.eof(); q.next()) {
        for (int f = 0; f < q.fieldCount(); ++f) {
            if (f) lines += '|';
            lines += q.fieldType(f) == sql::Query::FieldType::Date
                         ? q.date(f).toString(Qt::ISODate).toUtf8()
                         : q.text(f).toUtf8();
        }
        lines += '\n';
        if (lines.size() > (1 << 20)) {
            out.write(lines);
            lines.clear();
        }
    }
    out.write(lines);
}

BENCHMARK(BM_MovementList_Engine)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MovementList_SQLiteNative)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MovementList_SQLiteNativeStored)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IssueHistory_Engine)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_IssueHistory_SQLiteNative)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CascadeDelete_Engine)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CascadeDelete_SQLiteNative)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    const QByteArray dir = qgetenv("TASMERO_BENCH_DIR");
    folder = dir.isEmpty() ? QStringLiteral("/tmp/tasmero-bench-sql") : QString::fromLocal8Bit(dir);
    QDir().mkpath(folder);
    nativePath = folder + QStringLiteral("/native.sqlite");
    // The cascade delete changes the data: every run starts from fresh files.
    if (qEnvironmentVariableIsEmpty("TASMERO_BENCH_REUSE") || !QFileInfo::exists(nativePath)) {
        bench::writeArchive(folder, kSize);
        bench::writeNativeCopy(folder, nativePath);
    }
    if (!qEnvironmentVariableIsEmpty("TASMERO_EXPLAIN")) {
        sql::Database db(folder);
        sql::Query q(db);
        q.setText(QStringLiteral("explain query plan ") + archive::statements::kStampa2);
        q.open();
        for (q.first(); !q.eof(); q.next()) std::printf("plan: %s\n", qPrintable(q.text(3)));
    }
    if (const QByteArray dump = qgetenv("TASMERO_BENCH_DUMP"); !dump.isEmpty())
        dumpMovementList(QString::fromLocal8Bit(dump));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
