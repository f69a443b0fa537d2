// The magazine registry on a large register: 10,000 magazines, 100,000 stock
// records, 1,000,000 journal records.
//
//   open     the window made and shown with the list page (Elenco), painted
//   search   "Ricerca dall'inizio" for a text no magazine holds: every
//            magazine read, then the last one selected in the grid
//   scroll   the list scrolled from top to bottom a page at a time: the rows
//            the grid reads per step, the time, and the memory it took
//   delete   Elimina on a magazine with 100 stock records and their
//            movements, answered Yes (the data module's cascade); then the
//            cascade alone on another magazine, without the window
//
// Usage: registry_bench [folder]   (a temporary folder by default)
// Each timing is the median of several runs; the memory is the process's
// resident size (VmRSS) before and after, and its peak (VmHWM).
#include "archive_data.h"

#include "archive/data_module.h"
#include "platform/scripted_prompts.h"
#include "registry/ui/registry_window.h"
#include "ui/cursor_table_model.h"
#include "ui/data_source.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM").
long statusKiB(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(strlen(key)) + 1).trimmed().split(' ')[0].toLong();
    }
    return -1;
}

void settle(QWidget* w) {
    QCoreApplication::processEvents();
    w->repaint();
    QCoreApplication::processEvents();
}

void print(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const bench::ArchiveSize size;
    print(QStringLiteral("writing %1 magazines, %2 stock, %3 journal records in %4")
              .arg(size.magazines)
              .arg(size.issues)
              .arg(size.movements)
              .arg(folder));
    bench::writeArchive(folder, size);

    TData1 data(folder);
    Data1 = &data;
    data.openTables();
    platform::ScriptedPrompts prompts;
    platform::PromptsScope scope(prompts);

    // One magazine gets 90 more issues in stock, each with two movements:
    // 100 stock records and their journal.
    const QString victim = bench::sampleBarcode(4321);
    for (int n = 11; n <= 100; ++n) {
        const QString key = victim + QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
        data.Giacenza.append();
        data.Giacenza.setText(QStringLiteral("BARCODE2"), key);
        data.Giacenza.setNumber(QStringLiteral("GIACENZA"), 3);
        data.Giacenza.post();
        for (int m = 0; m < 2; ++m) {
            data.Giornale.append();
            data.Giornale.setText(QStringLiteral("BARCODE2"), key);
            data.Giornale.setDate(QStringLiteral("DATA"), QDate(2026, 1, 1 + m));
            data.Giornale.setNumber(QStringLiteral("QUANTITA"), m ? -1 : 4);
            data.Giornale.setText(QStringLiteral("TIPO"),
                                  m ? QStringLiteral("S") : QStringLiteral("C"));
            data.Giornale.post();
        }
    }
    data.Query1.clear();
    data.Query1.add(
        QStringLiteral("select count(*) from giacenza3 where substr(barcode2, 1, 13) = ?1"));
    data.Query1.bind(1, victim);
    data.Query1.open();
    const int victimStock = int(data.Query1.number(0));
    data.Query1.close();
    data.Query1.clear();
    data.Query1.add(
        QStringLiteral("select count(*) from giornale3 where substr(barcode2, 1, 13) = ?1"));
    data.Query1.bind(1, victim);
    data.Query1.open();
    const int victimJournal = int(data.Query1.number(0));
    data.Query1.close();

    data.Riviste.setIndex(QStringLiteral("NOME"));
    data.Riviste.first();

    // Opening with the list shown.
    std::vector<double> open;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        TfrmAnagrafica w;
        w.show();
        w.actElencoExecute();
        settle(&w);
        open.push_back(t.nsecsElapsed() / 1e6);
        if (run == 0)
            print(QStringLiteral("open: rows read %1 of %2")
                      .arg(w.RivisteModel->rowCount())
                      .arg(size.magazines));
    }
    print(QStringLiteral("open with the list shown: %1 ms (median of 7)")
              .arg(median(open), 0, 'f', 1));

    // A search through every magazine.
    {
        TfrmAnagrafica w;
        w.show();
        w.actElencoExecute();
        settle(&w);
        w.ediRicerca->setText(QStringLiteral("NESSUNA RIVISTA"));
        std::vector<double> walk, withGrid;
        for (int run = 0; run < 7; ++run) {
            prompts.expectWarning(std::nullopt);
            data.Riviste.first();
            w.DataRiviste->notifyRecordChanged();
            w.RivisteModel->reload();
            settle(&w);
            QElapsedTimer t;
            t.start();
            w.actRicercaExecute();
            settle(&w);
            withGrid.push_back(t.nsecsElapsed() / 1e6);
        }
        print(QStringLiteral("search through %1 magazines, the last one then selected in the grid: "
                             "%2 ms (median of 7)")
                  .arg(size.magazines)
                  .arg(median(withGrid), 0, 'f', 1));
        w.RivisteModel->release();
        for (int run = 0; run < 7; ++run) {
            prompts.expectWarning(std::nullopt);
            QElapsedTimer t;
            t.start();
            w.actRicercaExecute();
            walk.push_back(t.nsecsElapsed() / 1e6);
        }
        print(QStringLiteral("the same search, the walk alone (no grid): %1 ms (median of 7)")
                  .arg(median(walk), 0, 'f', 1));
    }

    // Scrolling from top to bottom.
    {
        data.Riviste.first();
        TfrmAnagrafica w;
        w.show();
        w.actElencoExecute();
        settle(&w);
        const long rssBefore = statusKiB("VmRSS:");
        QScrollBar* bar = w.RivisteGrid->verticalScrollBar();
        int steps = 0;
        int mostRowsInOneStep = 0;
        QElapsedTimer t;
        t.start();
        for (;;) {
            const int rows = w.RivisteModel->rowCount();
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            settle(&w);
            mostRowsInOneStep = std::max(mostRowsInOneStep, w.RivisteModel->rowCount() - rows);
            ++steps;
            if (bar->value() == bar->maximum() && !w.RivisteModel->canFetchMore(QModelIndex()))
                break;
        }
        const double ms = t.nsecsElapsed() / 1e6;
        const long rssAfter = statusKiB("VmRSS:");
        print(QStringLiteral("scroll to the bottom: %1 page steps in %2 ms (%3 ms a step), at most "
                             "%4 rows found in one step, "
                             "%5 rows found at the end, cell texts kept for %6 rows; resident "
                             "memory %7 -> %8 KiB (%9 KiB)")
                  .arg(steps)
                  .arg(ms, 0, 'f', 0)
                  .arg(ms / steps, 0, 'f', 2)
                  .arg(mostRowsInOneStep)
                  .arg(w.RivisteModel->rowsFound())
                  .arg(w.RivisteModel->rowsWithTexts())
                  .arg(rssBefore)
                  .arg(rssAfter)
                  .arg(rssAfter - rssBefore, 0, 10));
    }

    // The cascade delete.
    {
        data.Riviste.setIndex(QStringLiteral("BARCODE"));
        if (!data.Riviste.findKey(victim)) {
            print(QStringLiteral("the magazine to delete is missing"));
            return 1;
        }
        data.Riviste.setIndex(QStringLiteral("NOME"));
        const QString name = data.Riviste.text(QStringLiteral("NOME"));
        TfrmAnagrafica w;
        w.show();
        settle(&w);
        prompts.expectWarning(TData1::cascadeWarningText())
            .expectQuestion(TData1::cascadeQuestionText(name), true);
        QElapsedTimer t;
        t.start();
        w.actEliminaExecute();
        settle(&w);
        const double ms = t.nsecsElapsed() / 1e6;
        data.Query1.clear();
        data.Query1.add(
            QStringLiteral("select count(*) from giornale3 where substr(barcode2, 1, 13) = ?1"));
        data.Query1.bind(1, victim);
        data.Query1.open();
        const int left = int(data.Query1.number(0));
        data.Query1.close();
        print(QStringLiteral("delete of a magazine with %1 stock and %2 journal records: %3 ms "
                             "(one run; %4 journal records left)")
                  .arg(victimStock)
                  .arg(victimJournal)
                  .arg(ms, 0, 'f', 1)
                  .arg(left));
        {
            // The data module's cascade alone, without the window, on a magazine
            // with the archive's usual 10 issues in stock.
            const QString other = bench::sampleBarcode(1234);
            data.Riviste.setIndex(QStringLiteral("BARCODE"));
            data.Riviste.findKey(other);
            prompts.expectWarning(std::nullopt).expectQuestion(std::nullopt, true);
            QElapsedTimer alone;
            alone.start();
            data.Riviste.deleteRecord();
            print(QStringLiteral("the data module's cascade alone, a magazine with 10 stock "
                                 "records and its journal: %1 ms")
                      .arg(alone.nsecsElapsed() / 1e6, 0, 'f', 1));
        }
    }
    print(QStringLiteral("peak resident memory of the process (VmHWM): %1 KiB")
              .arg(statusKiB("VmHWM:")));
    if (!prompts.finished()) {
        print(prompts.failures().join(QLatin1Char('\n')));
        return 1;
    }
    return 0;
}
