// The archive utilities at full size: purge half of a 1,000,000-record
// journal, export both text files, rebuild the three tables.
//   utilities_bench [movements]   (default 1000000)
// Prints one line per step with its wall time.
#include "archive_data.h"

#include "archive/data_module.h"
#include "maintenance/index_rebuild.h"
#include "maintenance/purge.h"
#include "maintenance/text_export.h"
#include "platform/prompts.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

class Quiet : public platform::Prompts {
  public:
    void warning(const QString&) override {}
    bool question(const QString&) override { return true; }
    void message(const QString& text) override { QTextStream(stderr) << text << Qt::endl; }
    void error(const QString& text) override { QTextStream(stderr) << text << Qt::endl; }
    QString input(const QString&, const QString&, const QString&) override { return {}; }
};

template <typename Work>
void timed(const char* what, Work work) {
    QElapsedTimer timer;
    timer.start();
    work();
    QTextStream(stdout) << what << ": " << timer.elapsed() << " ms" << Qt::endl;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bench::ArchiveSize size;
    if (app.arguments().size() > 1) size.movements = app.arguments()[1].toInt();
    Quiet quiet;
    platform::PromptsScope scope(quiet);
    QTemporaryDir dir;
    bench::writeArchive(dir.path(), size);
    QTextStream(stdout) << size.movements << " movements, " << size.issues << " stock records, "
                        << size.magazines << " magazines" << Qt::endl;
    {
        TData1 data(dir.path());
        data.openTables();
        // The journal spans 700 days from 2025-01-01: half of it lies on or
        // before day 349.
        timed("purge of half the journal", [&] {
            const maintenance::PurgeCount n = maintenance::purgeUpTo(
                data.Giornale, data.Giacenza, QDate(2025, 1, 1).addDays(349));
            QTextStream(stdout) << "  deleted " << n.movements << " movements, " << n.stock
                                << " stock records" << Qt::endl;
        });
        timed("export of both files",
              [&] { maintenance::exportArchives(data.Database1, dir.path()); });
        data.closeTables();
    }
    timed("rebuild of the three tables", [&] { maintenance::rebuildIndexes(dir.path(), {}); });
    return 0;
}
