// The counter on a busy newsstand's archive: 10,000 magazines, 100,000 issues
// in stock and a journal of 1,000,000 movements.
//
//   BM_SalesScan      one scan in the sales window: the issue looked up in
//                     the stock table and its line added to the sale list
//   BM_Sale20Lines    a sale of 20 copies registered: 20 journal records and
//                     20 stock records, each post durable
//   BM_HistoryWindow  the history window created for an issue: stock record
//                     shown, its movements queried and listed
//
// The archive is written straight into .dbf files (the engine rebuilds the
// production indexes in bulk when it first opens them), so that setting up a
// million journal records does not take a million durable posts.
#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "archive/dbase/dbf_file.h"
#include "archive/dbase/table.h"
#include "archive/schema.h"
#include "movements/ui/sale_window.h"
#include "platform/program_locale.h"
#include "registry/ui/item_history_window.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr int kMagazines = 10000;
constexpr int kIssues = 100000;  // ten per magazine
constexpr int kMovements = 1000000;

QString magazineBarcode(int m) {
    return QStringLiteral("977%1").arg(m, 10, 10, QLatin1Char('0'));
}
QString issueKey(int i) {
    return magazineBarcode(i / 10) + QStringLiteral("%1").arg(i % 10 + 1, 5, 10, QLatin1Char('0'));
}

// Fills an empty table made by the archive with `count` records, written as
// one block, and drops its index so that the first open rebuilds it.
template <typename Fill>
void writeTable(const QString& folder, const archive::TableSpec& def, int count, Fill fill) {
    const QString path = archive::tablePath(folder, def);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) throw std::runtime_error("cannot open table");
    const QByteArray base = file.read(dbase::kBaseHeaderSize);
    file.seek(0);
    const QByteArray header = file.read(dbase::DbfLayout::statedHeaderLength(base, path));
    dbase::DbfLayout layout = dbase::DbfLayout::parse(header, path);
    QByteArray records;
    records.reserve(qsizetype(count) * layout.recordLength() + 1);
    QByteArray record = layout.blankRecord();
    for (int r = 0; r < count; ++r) {
        record = layout.blankRecord();
        fill(layout, record, r);
        records.append(record);
    }
    records.append(dbase::kEndOfFile);
    layout.recordCount = uint32_t(count);
    file.seek(0);
    file.write(layout.encodeHeader());
    file.write(records);
    file.close();
    QFile::remove(dbase::Table::productionIndexPath(path));
}

struct Archive {
    QTemporaryDir dir;
    std::unique_ptr<TData1> data;
    std::mt19937 rng{7};

    Archive() {
        QElapsedTimer clock;
        clock.start();
        const QString folder = dir.path();
        archive::createMissingTables(folder);
        writeTable(folder, archive::riviste3(), kMagazines,
                   [](const dbase::DbfLayout& l, QByteArray& rec, int m) {
                       l.setText(0, rec, magazineBarcode(m));
                       l.setText(1, rec, QStringLiteral("Rivista numero %1").arg(m));
                       l.setNumber(2, rec, 2.5 + m % 7);
                       l.setText(3, rec, QStringLiteral("D%1").arg(m % 20));
                       l.setNumber(4, rec, 1.75 + m % 7);
                       l.setText(5, rec, QStringLiteral("S"));
                   });
        const QDate start(2021, 1, 1);
        writeTable(folder, archive::giacenza3(), kIssues,
                   [start](const dbase::DbfLayout& l, QByteArray& rec, int i) {
                       l.setNumber(0, rec, 1000000);  // plenty: the benchmark sells a lot
                       l.setNumber(1, rec, 2.5 + i % 7);
                       l.setDate(2, rec, start.addDays(i % 1000));
                       l.setText(3, rec, issueKey(i));
                       l.setNumber(4, rec, 1.75 + i % 7);
                       l.setDate(5, rec, start.addDays(i % 1000 + 7));
                   });
        std::mt19937 gen(42);
        writeTable(folder, archive::giornale3(), kMovements,
                   [start, &gen](const dbase::DbfLayout& l, QByteArray& rec, int r) {
                       const int day = int(int64_t(r) * 1100 / kMovements);
                       l.setDate(0, rec, start.addDays(day));
                       const int kind = int(gen() % 10);
                       l.setNumber(1, rec, kind == 0 ? 20 : kind == 9 ? -5 : -1);
                       l.setNumber(2, rec, 3.5);
                       l.setText(3, rec, issueKey(int(gen() % kIssues)));
                       l.setText(4, rec,
                                 kind == 0   ? QStringLiteral("C")
                                 : kind == 9 ? QStringLiteral("R")
                                             : QStringLiteral("S"));
                       l.setNumber(5, rec, 2.45);
                   });
        const qint64 written = clock.restart();
        data = std::make_unique<TData1>(folder);
        Data1 = data.get();
        data->openTables();  // rebuilds the three production indexes
        data->Giornale.last();
        data->Riviste.setIndex(QStringLiteral("BARCODE"));
        std::fprintf(stderr,
                     "archive: files written in %lld ms, opened with index rebuild in %lld ms\n",
                     written, clock.elapsed());
    }
    QString randomIssue() { return issueKey(int(rng() % kIssues)); }
};

Archive& archiveData() {
    static Archive a;
    return a;
}

void BM_SalesScan(benchmark::State& state) {
    Archive& a = archiveData();
    TfrmScarico window;
    window.show();
    int lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (++lines > 200) {  // a long sale, then the next customer
            window.BitBtn1Click();
            lines = 1;
        }
        window.Scaricobarcode->setText(a.randomIssue());
        state.ResumeTiming();
        window.ScaricobarcodeExit();
    }
    if (window.saleList().isEmpty()) state.SkipWithError("no line was added");
}
BENCHMARK(BM_SalesScan)->Unit(benchmark::kMicrosecond);

void BM_Sale20Lines(benchmark::State& state) {
    Archive& a = archiveData();
    TfrmScarico window;
    window.show();
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 20; ++i) {
            window.Scaricobarcode->setText(a.randomIssue());
            window.ScaricobarcodeExit();
        }
        state.ResumeTiming();
        window.BitBtn2Click();
    }
    if (!window.saleList().isEmpty()) state.SkipWithError("lines left in the list");
}
BENCHMARK(BM_Sale20Lines)->Unit(benchmark::kMillisecond);

void BM_HistoryWindow(benchmark::State& state) {
    Archive& a = archiveData();
    int64_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString key = a.randomIssue();
        if (!a.data->Giacenza.findKey(key)) state.SkipWithError("issue not found");
        state.ResumeTiming();
        TfrmQuery window(nullptr, key);
        window.show();
        rows += window.DBGrid1->rowCount();
    }
    state.counters["rows"] = benchmark::Counter(double(rows), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_HistoryWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says so for every window shown; nothing to report.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (!text.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
    benchmark::Initialize(&argc, argv);
    archiveData();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
