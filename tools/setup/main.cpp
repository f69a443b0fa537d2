// tasmero-setup <folder> [--demo]
//
// Makes <folder> a ready installation: the three empty tables with their
// indexes, the settings file with the default login, the report templates;
// whatever exists already is left alone. With --demo it also fills an empty
// archive with a demo shop's year.
#include "platform/error.h"
#include "setup/demo_archive.h"
#include "setup/installation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-'))) {
        err << "usage: tasmero-setup <folder> [--demo]\n";
        return 2;
    }
    const QString folder = args.first();
    try {
        const setup::InstallationReport report = setup::prepareInstallation(folder);
        if (report.tablesCreated) out << "tables created: " << report.tablesCreated << "\n";
        if (report.settingsCreated)
            out << "settings created with the default login admin / tasmero\n";
        for (const QString& name : report.templatesCopied)
            out << "template copied: " << name << "\n";
        if (demo) {
            QElapsedTimer timer;
            timer.start();
            const setup::DemoCounts counts = setup::writeDemoArchive(folder);
            out << "demo archive: " << counts.magazines << " magazines, " << counts.stock
                << " stock records, " << counts.movements << " movements in " << timer.elapsed()
                << " ms\n";
        }
    } catch (const platform::Error& e) {
        err << "tasmero-setup: " << e.message() << "\n";
        return 1;
    }
    return 0;
}
