// The print datasets opened as the print commands open them, with their
// record filters reading a selection:
//
//   build/.../bench/print_bench [folder]
//
// Writes an archive of 10,000 magazines (20 suppliers), 100,000 stock records
// and 1,000,000 journal records spread over one year into `folder` (a
// temporary folder unless told), then opens, five times each, and reports
// every time and the median:
//
//   month      Stampa2, the movements of March 2025 (about 85,000 rows)
//   stock      Stampa1, the whole stock list ("tutto l'archivio")
//   returns    Stampa3, the returns of one supplier
//
// The first run of each reads the files from the page cache, as a list does
// in a running program.
#include "archive_data.h"

#include "archive/data_module.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using archive::PrintSelection;

// CPU time of the process in milliseconds: what the work costs, however
// busy the machine is with other work.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000 + double(t.tv_nsec) / 1e6;
}

void measure(const char* what, sql::Query& dataset) {
    std::vector<qint64> times;
    std::vector<double> cpu;
    int rows = 0;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        const double started = cpuMs();
        dataset.open();
        times.push_back(clock.elapsed());
        cpu.push_back(cpuMs() - started);
        rows = dataset.recordCount();
        dataset.close();
    }
    std::fprintf(stderr, "%-8s %7d rows: wall", what, rows);  // locale-free
    for (qint64 t : times) std::fprintf(stderr, " %5lld", t);  // locale-free
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::fprintf(stderr, " ms, median %lld ms wall, %.0f ms CPU\n", times[times.size() / 2],  // locale-free
                 cpu[cpu.size() / 2]);
}

int run(const QString& folder) {
    QElapsedTimer clock;
    clock.start();
    bench::ArchiveSize size;
    size.journalDays = 365;
    bench::writeArchive(folder, size);
    std::fprintf(stderr, "archive written in %lld ms\n", clock.elapsed());  // locale-free

    auto data = std::make_unique<TData1>(folder);
    Data1 = data.get();
    archive::PrintSelection selection;
    data->printSelection = [&selection] { return std::optional(selection); };

    selection.from = QDate(2025, 3, 1);
    selection.to = QDate(2025, 3, 31);
    measure("month", data->Stampa2);

    selection = archive::PrintSelection();
    selection.material = archive::PrintSelection::Material::All;
    measure("stock", data->Stampa1);

    selection = archive::PrintSelection();
    selection.supplier = QStringLiteral("D07");
    measure("returns", data->Stampa3);

    data.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTemporaryDir scratch;
    const QString folder = args.isEmpty() ? scratch.path() : args[0];
    QDir().mkpath(folder);
    try {
        return run(folder);
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));  // locale-free
        return 1;
    }
}
