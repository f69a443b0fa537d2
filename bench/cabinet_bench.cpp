// The shutdown backup and the recovery beside the command-line cabinet tools,
// on a program folder whose journal holds 1,000,000 movements (about 51 MB).
//
//   Backup/ours        makeShutdownBackup(): read, compress, write, sync, read
//                      back and check, rename over backup.cab
//   Backup/gcab        gcab -c -z backup.cab Giornale3.DBF (no check, no sync)
//   Extract/ours       extractAll() of our backup.cab into an empty folder
//   Extract/cabextract cabextract -q -d of the same cabinet
//
// The counter "cabinet_bytes" is the size of the cabinet each backup writes;
// "cpu_ms" is the processor time (user + system) one run takes, of this
// process for ours and of the child process for the tools, which stays
// comparable when other work shares the machine.
#include "maintenance/backup.h"
#include "maintenance/cabinet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <sys/resource.h>

namespace {

// A dBASE table of journal records: date, quantity, price, 18-digit issue
// key, movement type, cost; fixed width, like the real Giornale3.DBF.
QByteArray journal(int records) {
    struct Field {
        const char* name;
        char type;
        quint8 length;
        quint8 decimals;
    };
    const Field fields[] = {{"DATA", 'D', 8, 0},   {"QUANTITA", 'N', 5, 0},
                            {"PREZZO", 'N', 8, 2}, {"BARCODE2", 'C', 18, 0},
                            {"TIPO", 'C', 1, 0},   {"ACQUISTO", 'N', 10, 6}};
    const int recordLength = 1 + 8 + 5 + 8 + 18 + 1 + 10;
    const int headerLength = 32 + 32 * int(std::size(fields)) + 1;

    QByteArray out(headerLength, '\0');
    out[0] = 0x03;
    out[1] = char(124);
    out[2] = 12;
    out[3] = 31;
    for (int i = 0; i < 4; ++i) out[4 + i] = char((records >> (8 * i)) & 0xFF);
    out[8] = char(headerLength & 0xFF);
    out[9] = char(headerLength >> 8);
    out[10] = char(recordLength & 0xFF);
    out[11] = char(recordLength >> 8);
    for (std::size_t f = 0; f < std::size(fields); ++f) {
        char* d = out.data() + 32 + 32 * f;
        std::strncpy(d, fields[f].name, 11);
        d[11] = fields[f].type;
        d[16] = char(fields[f].length);
        d[17] = char(fields[f].decimals);
    }
    out[headerLength - 1] = 0x0D;

    std::mt19937 random(20240101);
    std::vector<QByteArray> magazines;
    for (int i = 0; i < 3000; ++i) {
        magazines.push_back(
            QByteArray::number(qulonglong(8000000000000ull + random() % 999999999ull)));
    }
    const double prices[] = {1.0, 1.5, 2.0, 2.5, 3.9, 4.5, 6.9};
    out.reserve(out.size() + qsizetype(records) * recordLength + 1);
    for (int i = 0; i < records; ++i) {
        const int day = i / 274;  // about ten years of movements
        const char type = "SSSSSSCR"[random() % 8];
        const int quantity = type == 'S' ? -1 : int(random() % 50 + 1) * (type == 'C' ? 1 : -1);
        const double price = prices[random() % 7];
        // QByteArray::number writes a decimal point whatever the process locale.
        const QByteArray record =
            " " + QByteArray::number(2015 + day / 365) +
            QByteArray::number(day % 365 / 31 + 1).rightJustified(2, '0') +
            QByteArray::number(day % 365 % 28 + 1).rightJustified(2, '0') +
            QByteArray::number(quantity).rightJustified(5) +
            QByteArray::number(price, 'f', 2).rightJustified(8) +
            magazines[random() % magazines.size()] +
            QByteArray::number(unsigned(random() % 400 + 1)).rightJustified(5, '0') + type +
            QByteArray::number(price * 0.72, 'f', 6).rightJustified(10);
        out.append(record.constData(), recordLength);
    }
    out.append('\x1A');
    return out;
}

struct Shop {
    QTemporaryDir dir;
    QString program;
    QString cabinet;

    Shop() {
        program = QDir(dir.path()).filePath("program");
        QDir().mkpath(program);
        QFile file(QDir(program).filePath("Giornale3.DBF"));
        if (!file.open(QIODevice::WriteOnly)) std::abort();
        file.write(journal(1000000));
        file.close();
        cabinet = QDir(program).filePath(maintenance::kBackupFileName);
        maintenance::makeShutdownBackup(program);
    }
};

Shop& shop() {
    static Shop instance;
    return instance;
}

double cpuMilliseconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Processor time per iteration of the code between construction and report().
class CpuClock {
  public:
    explicit CpuClock(int who) : who_(who), start_(cpuMilliseconds(who)) {}
    void report(benchmark::State& state) const {
        state.counters["cpu_ms"] = (cpuMilliseconds(who_) - start_) / double(state.iterations());
    }

  private:
    int who_;
    double start_;
};

QString quoted(const QString& path) {
    return QStringLiteral("'%1'").arg(path);
}

void runOrFail(benchmark::State& state, const QString& command) {
    if (std::system(command.toLocal8Bit().constData()) != 0) state.SkipWithError("command failed");
}

void BackupOurs(benchmark::State& state) {
    Shop& s = shop();
    const CpuClock cpu(RUSAGE_SELF);
    for (auto _ : state) maintenance::makeShutdownBackup(s.program);
    cpu.report(state);
    state.counters["cabinet_bytes"] = double(QFileInfo(s.cabinet).size());
    state.counters["journal_bytes"] =
        double(QFileInfo(QDir(s.program).filePath("Giornale3.DBF")).size());
}

void BackupGcab(benchmark::State& state) {
    Shop& s = shop();
    const QString cabinet = QDir(s.dir.path()).filePath("gcab.cab");
    const QString command = QStringLiteral("cd %1 && gcab -c -z %2 Giornale3.DBF")
                                .arg(quoted(s.program), quoted(cabinet));
    const CpuClock cpu(RUSAGE_CHILDREN);
    for (auto _ : state) runOrFail(state, command);
    cpu.report(state);
    state.counters["cabinet_bytes"] = double(QFileInfo(cabinet).size());
}

void ExtractOurs(benchmark::State& state) {
    Shop& s = shop();
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir target;
        const double before = cpuMilliseconds(RUSAGE_SELF);
        state.ResumeTiming();
        maintenance::extractAll(s.cabinet, target.path());
        state.PauseTiming();
        cpu += cpuMilliseconds(RUSAGE_SELF) - before;
        target.remove();
        state.ResumeTiming();
    }
    state.counters["cpu_ms"] = cpu / double(state.iterations());
}

void ExtractCabextract(benchmark::State& state) {
    Shop& s = shop();
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir target;
        const QString command =
            QStringLiteral("cabextract -q -d %1 %2").arg(quoted(target.path()), quoted(s.cabinet));
        const double before = cpuMilliseconds(RUSAGE_CHILDREN);
        state.ResumeTiming();
        runOrFail(state, command);
        state.PauseTiming();
        cpu += cpuMilliseconds(RUSAGE_CHILDREN) - before;
        target.remove();
        state.ResumeTiming();
    }
    state.counters["cpu_ms"] = cpu / double(state.iterations());
}

}  // namespace

BENCHMARK(BackupOurs)
    ->Name("Backup/ours")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BackupGcab)
    ->Name("Backup/gcab")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(ExtractOurs)
    ->Name("Extract/ours")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);
BENCHMARK(ExtractCabextract)
    ->Name("Extract/cabextract")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

BENCHMARK_MAIN();
