#include "reports/page_painter.h"
#include "reports/report_exports.h"

#include "platform/error.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace reports {

void exportPdf(const PreparedReport& report, const QString& path, const PageProgress& progress) {
    constexpr int kResolution = 600;
    bool stopped = false;
    {
        QPdfWriter writer(path);
        writer.setResolution(kResolution);
        writer.setCreator(QStringLiteral("Gestione Tasmero"));
        writer.setTitle(report.title);
        const QPageSize size(QSizeF(report.page.width, report.page.height), QPageSize::Millimeter, QString(),
                             QPageSize::ExactMatch);
        writer.setPageLayout(QPageLayout(size, report.page.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&writer))
            throw platform::FileError(QStringLiteral("Cannot write file %1.").arg(path));
        const PagePainter pages(report);
        for (int p = 0; p < report.pageCount(); ++p) {
            if (p > 0) writer.newPage();
            pages.paint(painter, p, kResolution / 25.4);
            if (progress && !progress(p + 1)) {
                stopped = true;
                break;
            }
        }
        painter.end();
    }
    if (stopped) QFile::remove(path);
    else if (!QFile::exists(path)) throw platform::FileError(QStringLiteral("Cannot write file %1.").arg(path));
}

}  // namespace reports
