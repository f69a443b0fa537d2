// The movement journal (Report2.frf over Stampa2) on a large journal.
//
//   build/.../bench/report_bench [rows] [folder]
//
// Writes an archive of 10,000 magazines, 100,000 issues and `rows` journal
// records (100,000 unless told) into `folder` (a temporary folder unless
// told), then measures, once each, as the operator meets them:
//
//   query      Stampa2 opened: the journal joined with its magazines, sorted
//   prepare    the template laid out over the open dataset into pages
//   first page the first page drawn into a screen-sized image, as the
//              preview shows it
//   pdf        the whole report exported to PDF
//
// and the process's peak resident memory (VmHWM) after preparation. The PDF
// is skipped above 200,000 rows (a list of that length goes to the printer a
// page range at a time). Each figure is one run: the work is seconds long, and
// a second run would find the files in the page cache, as the first one does
// after writing them.
#include "archive_data.h"

#include "archive/data_module.h"
#include "platform/error.h"
#include "platform/program_locale.h"
#include "reports/page_painter.h"
#include "reports/report_engine.h"
#include "reports/report_exports.h"
#include "reports/template_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {

// Peak resident memory of this process in KiB, from /proc (Linux only; 0
// where there is none).
long long peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("VmHWM:")) continue;
        return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

void report(const char* what, qint64 ms) { std::fprintf(stderr, "%-12s %8lld ms\n", what, ms); }  // locale-free

int run(int rows, const QString& folder) {
    QElapsedTimer clock;
    clock.start();
    bench::ArchiveSize size;
    size.movements = rows;
    bench::writeArchive(folder, size);
    std::fprintf(stderr, "archive of %d journal records written in %lld ms\n", rows, clock.elapsed());  // locale-free

    auto data = std::make_unique<TData1>(folder);
    Data1 = data.get();
    const reports::Report journal = reports::loadTemplate(QStringLiteral(TASMERO_TEMPLATES "/Report2.frf"));

    clock.restart();
    data->Stampa2.open();
    report("query", clock.elapsed());

    clock.restart();
    const reports::PreparedReport pages =
        reports::prepareReport(journal, reports::dataModuleDatasets(*data), {QStringLiteral("Movimenti"), {}});
    const qint64 prepared = clock.elapsed();
    report("prepare", prepared);
    std::fprintf(stderr, "             %d rows, %d pages, display lists %.1f MiB\n",  // locale-free
                 data->Stampa2.recordCount(), pages.pageCount(), double(pages.memoryUsed()) / (1 << 20));

    // The preview's first page at 100 %: A4 on a 96 dpi screen.
    clock.restart();
    const double dotsPerMm = 96 / 25.4;
    QImage screen(QSize(int(210 * dotsPerMm), int(297 * dotsPerMm)), QImage::Format_RGB32);
    {
        QPainter painter(&screen);
        reports::PagePainter(pages).paint(painter, 0, dotsPerMm);
    }
    const qint64 drawn = clock.elapsed();
    report("first page", drawn);
    report("to screen", prepared + drawn);  // the preview opens on prepared pages

    std::fprintf(stderr, "peak memory  %8.1f MiB (VmHWM)\n", double(peakResidentKiB()) / 1024);  // locale-free

    if (rows <= 200000) {
        clock.restart();
        const QString pdf = QDir(folder).filePath(QStringLiteral("movimenti.pdf"));
        reports::exportPdf(pages, pdf);
        report("pdf", clock.elapsed());
        std::fprintf(stderr, "             %.1f MiB written\n", double(QFileInfo(pdf).size()) / (1 << 20));  // locale-free
        QFile::remove(pdf);
    }
    data.reset();
    return pages.pageCount() > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
    const QStringList args = app.arguments().mid(1);
    bool ok = true;
    const int rows = args.isEmpty() ? 100000 : args[0].toInt(&ok);
    if (!ok || rows <= 0) {
        std::fprintf(stderr, "usage: report_bench [journal records] [folder]\n");  // locale-free
        return 2;
    }
    QTemporaryDir scratch;
    const QString folder = args.size() > 1 ? args[1] : scratch.path();
    QDir().mkpath(folder);
    try {
        return run(rows, folder);
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));  // locale-free
        return 1;
    }
}
