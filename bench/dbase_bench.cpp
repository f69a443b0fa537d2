// The table engine against its targets, beside SQLite doing the same work on
// the same data in the same run:
//   durable post of one journal record   vs one fsynced write of the same bytes
//   find key (median)                    100,000-record stock table
//   ordered scan of the journal by DATA  1,000,000 records
//   pack with index regeneration         all three tables
//   open a table                         without reading it whole
//   peak memory of a full scan           measured in a fresh process
//
// Usage: dbase_bench [folder]   (default: a scratch folder under the current
// one; it must be on a real disk, since fsync on a memory file system is free)
//        dbase_bench --posts folder   the durable posts alone, again, on the
//                                     tables an earlier run left in folder
#include "archive/dbase/cursor.h"
#include "archive/dbase/table.h"

#include <sqlite3.h>
#include <QCoreApplication>
#include <QTextStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

using namespace dbase;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMagazines = 10000;
constexpr int kStock = 100000;
constexpr int kJournal = 1000000;

double micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}
double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuMillis() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double tenth(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 10];
}

long procStatus(const char* key) {  // kB
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

long long readChars() {  // bytes this process asked read() for, all files
    QFile f(QStringLiteral("/proc/self/io"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("rchar:")) return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

std::vector<Field> magazineFields() {
    return {{QStringLiteral("BARCODE"), 'C', 13, 0},  {QStringLiteral("NOME"), 'C', 30, 0},
            {QStringLiteral("PREZZO"), 'N', 10, 2},   {QStringLiteral("FORNITORE"), 'C', 3, 0},
            {QStringLiteral("ACQUISTO"), 'N', 14, 6}, {QStringLiteral("PERIODICIT"), 'C', 1, 0}};
}
std::vector<Field> stockFields() {
    return {{QStringLiteral("GIACENZA"), 'N', 10, 0}, {QStringLiteral("PREZZO"), 'N', 10, 2},
            {QStringLiteral("UCARICO"), 'D', 8, 0},   {QStringLiteral("BARCODE2"), 'C', 18, 0},
            {QStringLiteral("ACQUISTO"), 'N', 14, 6}, {QStringLiteral("SCADENZA"), 'D', 8, 0}};
}
std::vector<Field> journalFields() {
    return {{QStringLiteral("DATA"), 'D', 8, 0},    {QStringLiteral("QUANTITA"), 'N', 10, 0},
            {QStringLiteral("PREZZO"), 'N', 10, 2}, {QStringLiteral("BARCODE2"), 'C', 18, 0},
            {QStringLiteral("TIPO"), 'C', 1, 0},    {QStringLiteral("ACQUISTO"), 'N', 14, 6}};
}

QString barcode(int magazine) {
    return QStringLiteral("977%1").arg(magazine, 9, 10, QLatin1Char('0')) + QLatin1Char('0');
}
QString issueKey(int stock) {
    return barcode(stock % kMagazines) +
           QStringLiteral("%1").arg(stock / kMagazines, 5, 10, QLatin1Char('0'));
}

struct Sqlite {
    sqlite3* db = nullptr;
    explicit Sqlite(const QString& path) {
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
    }
    ~Sqlite() { sqlite3_close(db); }
    void exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", error);
            sqlite3_free(error);
            std::exit(1);
        }
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
        return s;
    }
};

// Builds a table through the engine: records in large durable batches, then
// the tags (one bulk index build each).
template <typename Fill>
void build(const QString& path, const std::vector<Field>& fields, const std::vector<QString>& tags,
           int count, Fill fill) {
    Table::create(path, fields, {});
    auto table = Table::open(path);
    const DbfLayout& layout = table->layout();
    QByteArray batch;
    for (int i = 0; i < count; ++i) {
        QByteArray r = layout.blankRecord();
        fill(layout, r, i);
        if (i % 50 == 7) r[0] = kDeletedFlag;
        batch.append(r);
        if (batch.size() > (8 << 20) || i + 1 == count) {
            table->appendRecords(batch);
            batch.clear();
        }
    }
    for (const QString& tag : tags) table->addIndex(tag);
}

QDate journalDate(int i) {
    return QDate(2016, 1, 1).addDays(i / 300 - (i % 53 == 0 ? 3 : 0));
}

void fillSqlite(Sqlite& s, int which, int count) {
    s.exec("BEGIN");
    sqlite3_stmt* st = nullptr;
    if (which == 0) {
        s.exec(
            "CREATE TABLE riviste3(barcode TEXT, nome TEXT, prezzo REAL, fornitore TEXT, acquisto "
            "REAL, periodicit TEXT)");
        st = s.prepare("INSERT INTO riviste3 VALUES(?,?,?,?,?,?)");
    } else if (which == 1) {
        s.exec(
            "CREATE TABLE giacenza3(giacenza REAL, prezzo REAL, ucarico TEXT, barcode2 TEXT, "
            "acquisto REAL, scadenza TEXT)");
        st = s.prepare("INSERT INTO giacenza3 VALUES(?,?,?,?,?,?)");
    } else {
        s.exec(
            "CREATE TABLE giornale3(data TEXT, quantita REAL, prezzo REAL, barcode2 TEXT, tipo "
            "TEXT, acquisto REAL)");
        st = s.prepare("INSERT INTO giornale3 VALUES(?,?,?,?,?,?)");
    }
    for (int i = 0; i < count; ++i) {
        QByteArray a, b, c;
        if (which == 0) {
            a = barcode(i).toLatin1();
            b = QStringLiteral("Rivista numero %1").arg(i).toLatin1();
            sqlite3_bind_text(st, 1, a.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, b.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 3, 1.5 + i % 10);
            sqlite3_bind_text(st, 4, "D01", -1, SQLITE_STATIC);
            sqlite3_bind_double(st, 5, 1.125);
            sqlite3_bind_text(st, 6, "S", -1, SQLITE_STATIC);
        } else if (which == 1) {
            a = issueKey(i).toLatin1();
            sqlite3_bind_double(st, 1, i % 40 - 5);
            sqlite3_bind_double(st, 2, 2.5);
            sqlite3_bind_text(st, 3, "2024-05-01", -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 4, a.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 5, 1.875);
            sqlite3_bind_text(st, 6, "2024-05-31", -1, SQLITE_STATIC);
        } else {
            a = journalDate(i).toString(Qt::ISODate).toLatin1();
            b = issueKey(i % kStock).toLatin1();
            sqlite3_bind_text(st, 1, a.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 2, -1);
            sqlite3_bind_double(st, 3, 2.5);
            sqlite3_bind_text(st, 4, b.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 5, "S", -1, SQLITE_STATIC);
            sqlite3_bind_double(st, 6, 1.875);
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    if (which == 0) {
        s.exec(
            "CREATE INDEX r_barcode ON riviste3(barcode); CREATE INDEX r_fornitore ON "
            "riviste3(fornitore); CREATE INDEX r_nome ON riviste3(nome)");
    } else if (which == 1) {
        s.exec("CREATE INDEX g_barcode2 ON giacenza3(barcode2)");
    } else {
        s.exec("CREATE INDEX j_data ON giornale3(data)");
    }
    s.exec("COMMIT");
}

// The scan whose peak memory counts, alone in a fresh process.
int scanOnly(const QString& path) {
    Cursor c(path);
    c.open();
    c.setIndex(QStringLiteral("DATA"));
    double sum = 0;
    long n = 0;
    for (c.first(); !c.eof(); c.next()) {
        sum += c.number(QStringLiteral("QUANTITA")) * c.number(QStringLiteral("PREZZO"));
        ++n;
    }
    std::printf("%ld %.0f %ld\n", n, sum, procStatus("VmHWM:"));
    return 0;
}


// One fdatasync'ed append, one engine post and one SQLite insert in turn, 300
// times: on a shared machine the disk's speed changes from one second to the
// next, and taking the three in turn gives each the same conditions.
void durablePosts(const QString& folder, const QString& journal, Sqlite& sql) {
    const QByteArray bytes(62, 'x');
    const QString raw = folder + QStringLiteral("/raw.bin");
    const int fd =
        ::open(QFile::encodeName(raw).constData(), O_CREAT | O_TRUNC | O_WRONLY | O_APPEND, 0644);
    Cursor c(journal);
    c.open();
    sqlite3_stmt* q = sql.prepare("INSERT INTO giornale3 VALUES(?, -1, 2.5, ?, 'S', 0)");
    std::vector<double> rawTimes, times, st;
    for (int i = 0; i < 300; ++i) {
        auto s = Clock::now();
        if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size() ||
            ::fdatasync(fd) != 0)
            std::exit(1);
        rawTimes.push_back(micros(Clock::now() - s));

        s = Clock::now();
        c.append();
        c.setDate(QStringLiteral("DATA"), QDate(2026, 1, 1).addDays(i % 20));
        c.setNumber(QStringLiteral("QUANTITA"), -1);
        c.setNumber(QStringLiteral("PREZZO"), 2.5);
        c.setText(QStringLiteral("BARCODE2"), issueKey(i));
        c.setText(QStringLiteral("TIPO"), QStringLiteral("S"));
        c.post();
        times.push_back(micros(Clock::now() - s));

        const QByteArray d = QDate(2026, 1, 1).addDays(i % 20).toString(Qt::ISODate).toLatin1();
        const QByteArray k = issueKey(i).toLatin1();
        s = Clock::now();
        sqlite3_bind_text(q, 1, d.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(q, 2, k.constData(), -1, SQLITE_STATIC);
        sqlite3_step(q);
        sqlite3_reset(q);
        st.push_back(micros(Clock::now() - s));
    }
    sqlite3_finalize(q);
    c.close();
    ::close(fd);
    const double engine = median(times), append = median(rawTimes), lite = median(st);
    std::printf("%-44s %11.0f us %11.0f us   (WAL, synchronous=FULL)\n",
                "durable post of a journal record (median)", engine, lite);
    std::printf("%-44s %11.0f us\n", "  one fdatasync'ed append of the same 62 bytes", append);
    std::printf("%-44s %11.2f    %11.2f\n", "  post / append, post / sqlite", engine / append,
                engine / lite);
    // While other programs keep the disk busy every sync waits for theirs and
    // the medians tell little; the fastest tenth shows the disk when it was free.
    const double fastEngine = tenth(times), fastAppend = tenth(rawTimes), fastLite = tenth(st);
    std::printf("%-44s %11.0f us %11.0f us   (append %.0f us)\n", "  fastest tenth (10th percentile)",
                fastEngine, fastLite, fastAppend);
    std::printf("%-44s %11.2f    %11.2f\n", "  post / append, post / sqlite", fastEngine / fastAppend,
                fastEngine / fastLite);
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--scan")
        return scanOnly(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && QByteArray(argv[1]) == "--posts") {
        // Only the durable posts, on the tables an earlier run left in that folder.
        const QString folder = QString::fromLocal8Bit(argv[2]);
        const QString journal = folder + QStringLiteral("/GIORNALE3.DBF");
        if (!QFileInfo::exists(journal) || !QFileInfo::exists(folder + QStringLiteral("/native.db"))) {
            QTextStream(stderr) << "no tables of an earlier run in " << folder << "\n";
            return 2;
        }
        Sqlite sql(folder + QStringLiteral("/native.db"));
        durablePosts(folder, journal, sql);
        return 0;
    }

    QTemporaryDir scratch(QDir::currentPath() + QStringLiteral("/dbase_bench_XXXXXX"));
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        // An option mistaken for a folder would fill a folder named after it.
        QTextStream(stderr) << "usage: " << argv[0] << " [folder] | --posts folder\n";
        return 2;
    }
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    QDir().mkpath(folder);
    const QString magazines = folder + QStringLiteral("/RIVISTE3.DBF");
    const QString stock = folder + QStringLiteral("/GIACENZA3.DBF");
    const QString journal = folder + QStringLiteral("/GIORNALE3.DBF");
    for (const QString& p : {magazines, stock, journal}) {
        QFile::remove(p);
        QFile::remove(Table::productionIndexPath(p));
    }
    QFile::remove(folder + QStringLiteral("/native.db"));
    QFile::remove(folder + QStringLiteral("/native.db-wal"));

    std::printf("Building %d magazines, %d stock records, %d journal records in %s\n", kMagazines,
                kStock, kJournal, qPrintable(folder));
    auto t0 = Clock::now();
    build(magazines, magazineFields(),
          {QStringLiteral("BARCODE"), QStringLiteral("FORNITORE"), QStringLiteral("NOME")},
          kMagazines, [](const DbfLayout& l, QByteArray& r, int i) {
              l.setText(0, r, barcode(i));
              l.setText(1, r, QStringLiteral("Rivista numero %1").arg(i));
              l.setNumber(2, r, 1.5 + i % 10);
              l.setText(3, r, QStringLiteral("D01"));
              l.setNumber(4, r, 1.125);
              l.setText(5, r, QStringLiteral("S"));
          });
    build(stock, stockFields(), {QStringLiteral("BARCODE2")}, kStock,
          [](const DbfLayout& l, QByteArray& r, int i) {
              l.setNumber(0, r, i % 40 - 5);
              l.setNumber(1, r, 2.5);
              l.setDate(2, r, QDate(2024, 5, 1));
              l.setText(3, r, issueKey(i));
              l.setNumber(4, r, 1.875);
              l.setDate(5, r, QDate(2024, 5, 31));
          });
    build(journal, journalFields(), {QStringLiteral("DATA")}, kJournal,
          [](const DbfLayout& l, QByteArray& r, int i) {
              l.setDate(0, r, journalDate(i));
              l.setNumber(1, r, -1);
              l.setNumber(2, r, 2.5);
              l.setText(3, r, issueKey(i % kStock));
              l.setText(4, r, QStringLiteral("S"));
              l.setNumber(5, r, 1.875);
          });
    std::printf("  engine build: %.0f ms\n", millis(Clock::now() - t0));
    Sqlite sql(folder + QStringLiteral("/native.db"));
    t0 = Clock::now();
    fillSqlite(sql, 0, kMagazines);
    fillSqlite(sql, 1, kStock);
    fillSqlite(sql, 2, kJournal);
    std::printf("  sqlite build: %.0f ms\n\n", millis(Clock::now() - t0));
    std::printf("%-44s %14s %14s\n", "measure", "engine", "sqlite");

    // ---- open ----
    {
        std::vector<double> times;
        long long bytes = 0;
        for (int i = 0; i < 21; ++i) {
            const long long before = readChars();
            const auto s = Clock::now();
            Cursor c(journal);
            c.setIndex(QStringLiteral("DATA"));
            c.open();
            times.push_back(millis(Clock::now() - s));
            bytes = readChars() - before;
            c.close();
        }
        std::vector<double> st;
        for (int i = 0; i < 21; ++i) {
            const auto s = Clock::now();
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(folder + QStringLiteral("/native.db")).constData(), &db);
            sqlite3_stmt* q = nullptr;
            sqlite3_prepare_v2(db, "SELECT * FROM giornale3 ORDER BY data LIMIT 1", -1, &q,
                               nullptr);
            sqlite3_step(q);
            sqlite3_finalize(q);
            st.push_back(millis(Clock::now() - s));
            sqlite3_close(db);
        }
        std::printf("%-44s %11.2f ms %11.2f ms\n", "open the journal, first record (median)",
                    median(times), median(st));
        std::printf("%-44s %11lld B   (file %lld B)\n", "  bytes read by one open", bytes,
                    (long long)QFileInfo(journal).size() +
                        QFileInfo(Table::productionIndexPath(journal)).size());
    }

    // ---- find key ----
    {
        Cursor c(stock);
        c.open();
        c.setIndex(QStringLiteral("BARCODE2"));
        std::mt19937 random(42);
        std::vector<double> times;
        int found = 0;
        std::vector<QString> keys;
        for (int i = 0; i < 20000; ++i)
            keys.push_back(issueKey(std::uniform_int_distribution<int>(0, kStock - 1)(random)));
        for (const QString& k : keys) {
            const auto s = Clock::now();
            found += c.findKey(k) ? 1 : 0;
            volatile double g = c.number(QStringLiteral("GIACENZA"));
            (void)g;
            times.push_back(micros(Clock::now() - s));
        }
        sqlite3_stmt* q = sql.prepare("SELECT giacenza FROM giacenza3 WHERE barcode2=?");
        std::vector<double> st;
        int sfound = 0;
        for (const QString& k : keys) {
            const QByteArray b = k.toLatin1();
            const auto s = Clock::now();
            sqlite3_bind_text(q, 1, b.constData(), b.size(), SQLITE_STATIC);
            if (sqlite3_step(q) == SQLITE_ROW) {
                volatile double g = sqlite3_column_double(q, 0);
                (void)g;
                ++sfound;
            }
            sqlite3_reset(q);
            st.push_back(micros(Clock::now() - s));
        }
        sqlite3_finalize(q);
        std::printf("%-44s %11.2f us %11.2f us   (%d/%d found)\n",
                    "find key in 100,000 stock records (median)", median(times), median(st), found,
                    sfound);
    }

    // ---- ordered scan ----
    {
        Cursor c(journal);
        c.open();
        c.setIndex(QStringLiteral("DATA"));
        const double cpuBefore = cpuMillis();
        auto s = Clock::now();
        double sum = 0;
        long n = 0;
        QDate last;
        bool ordered = true;
        for (c.first(); !c.eof(); c.next()) {
            const QDate d = c.date(QStringLiteral("DATA"));
            if (last.isValid() && d < last) ordered = false;
            last = d;
            sum += c.number(QStringLiteral("QUANTITA")) * c.number(QStringLiteral("PREZZO"));
            ++n;
        }
        const double engine = millis(Clock::now() - s);
        const double engineCpu = cpuMillis() - cpuBefore;
        sqlite3_stmt* q = sql.prepare("SELECT data, quantita, prezzo FROM giornale3 ORDER BY data");
        const double sqliteCpuBefore = cpuMillis();
        s = Clock::now();
        double ssum = 0;
        long sn = 0;
        while (sqlite3_step(q) == SQLITE_ROW) {
            (void)sqlite3_column_text(q, 0);
            ssum += sqlite3_column_double(q, 1) * sqlite3_column_double(q, 2);
            ++sn;
        }
        sqlite3_finalize(q);
        std::printf("%-44s %11.0f ms %11.0f ms   (%ld/%ld records%s)\n",
                    "ordered scan of 1,000,000 by DATA", engine, millis(Clock::now() - s), n, sn,
                    ordered ? "" : ", OUT OF ORDER");
        std::printf("%-44s %11.0f ms %11.0f ms\n", "  of which CPU time (the machine is shared)",
                    engineCpu, cpuMillis() - sqliteCpuBefore);
    }

    // ---- peak memory of a full scan, in a fresh process ----
    {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--scan"), journal});
        p.waitForFinished(-1);
        const QList<QByteArray> out = p.readAllStandardOutput().trimmed().split(' ');
        std::printf("%-44s %11.1f MiB\n", "peak memory (VmHWM) of a full scan process",
                    out.size() == 3 ? out[2].toDouble() / 1024 : -1.0);
    }

    durablePosts(folder, journal, sql);

    // ---- pack with regeneration of all three tables ----
    {
        // Every table was built with 2% of its records deleted, as a purge leaves it.
        sql.exec(
            "DELETE FROM riviste3 WHERE rowid % 50 = 8; DELETE FROM giacenza3 WHERE rowid % 50 = 8;"
            " DELETE FROM giornale3 WHERE rowid % 50 = 8;");
        auto s = Clock::now();
        for (const QString& p : {magazines, stock, journal}) {
            auto t = Table::open(p, Table::Access::Exclusive);
            t->pack();
        }
        const double engine = millis(Clock::now() - s);
        s = Clock::now();
        sql.exec("VACUUM; REINDEX;");
        std::printf("%-44s %11.0f ms %11.0f ms   (VACUUM+REINDEX)\n",
                    "pack + regenerate indexes, 3 tables", engine, millis(Clock::now() - s));
    }
    return 0;
}
