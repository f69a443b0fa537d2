// tasmero-admin: the archive utilities of the maintenance window for a
// technician's scripts, on a working folder given as argument.
//
//   tasmero-admin FOLDER backup MEDIA     backup.cab renewed and copied to MEDIA
//                                         (created when missing)
//   tasmero-admin FOLDER restore MEDIA    MEDIA/backup.cab (else the local one) restored
//   tasmero-admin FOLDER export           giacenza.txt and movimenti.txt
//   tasmero-admin FOLDER purge --before DATE   movements up to DATE (YYYY-MM-DD,
//                                         the day included) and exhausted stock
//   tasmero-admin FOLDER rebuild          pack and re-index the three tables
//   tasmero-admin FOLDER check            open every table, walk every index
//
// Exit codes: 0 done; 1 failed (the message says why; nothing half-done is
// left, as in the window); 2 wrong arguments; 3 the tables are in use by
// another program (the cash desk is open), nothing was touched; 4 check found
// a fault.
#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "archive/dbase/cursor.h"
#include "archive/schema.h"
#include "maintenance/backup.h"
#include "maintenance/cabinet_error.h"
#include "maintenance/index_rebuild.h"
#include "maintenance/media_backup.h"
#include "maintenance/purge.h"
#include "maintenance/text_export.h"
#include "platform/error.h"
#include "platform/prompts.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kInUse = 3, kFaulty = 4 };

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}
QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

// The window's messages become lines of output; nobody is asked anything a
// script could not answer, so the one question (the purge's) is answered by
// the command itself.
class ConsolePrompts : public platform::Prompts {
  public:
    void warning(const QString& text) override { out() << text.trimmed() << Qt::endl; }
    bool question(const QString&) override { return true; }
    void message(const QString& text) override { err() << text.trimmed() << Qt::endl; }
    void error(const QString& message) override { err() << message << Qt::endl; }
    QString input(const QString&, const QString&, const QString&) override { return {}; }
};

int usage() {
    err() << "usage: tasmero-admin FOLDER backup MEDIA | restore MEDIA | export |"
             " purge --before YYYY-MM-DD | rebuild | check\n";
    return kUsage;
}

maintenance::ArchiveTables tablesOf(TData1& data) {
    return {[&data] { data.closeTables(); }, [&data] { data.openTables(); }};
}

// Walks every index of every table: each must list every live record once,
// in key order. Returns the faults found.
QStringList check(const QString& folder) {
    QStringList faults;
    for (const archive::TableSpec* shape :
         {&archive::riviste3(), &archive::giacenza3(), &archive::giornale3()}) {
        const QString path = archive::tablePath(folder, *shape);
        try {
            dbase::Cursor cursor(path);
            cursor.setReadOnly(true);
            cursor.open();
            const uint32_t live = cursor.table().liveCount();
            if (cursor.table().tagCount() != int(shape->tags.size()))
                faults << QStringLiteral("%1: %2 indexes instead of %3")
                              .arg(shape->sqlName)
                              .arg(cursor.table().tagCount())
                              .arg(shape->tags.size());
            for (const QString& tag : shape->tags) {
                if (cursor.table().findTag(tag) < 0) {
                    faults << QStringLiteral("%1: index %2 missing").arg(shape->sqlName, tag);
                    continue;
                }
                cursor.setIndex(tag);
                uint32_t seen = 0;
                for (cursor.first(); !cursor.isEmpty() && !cursor.eof(); cursor.next()) ++seen;
                if (seen != live)
                    faults << QStringLiteral("%1: index %2 lists %3 records of %4")
                                  .arg(shape->sqlName, tag)
                                  .arg(seen)
                                  .arg(live);
            }
            out() << shape->sqlName << ": " << live << " records, " << cursor.table().tagCount()
                  << " indexes\n";
        } catch (const platform::Error& e) {
            faults << QStringLiteral("%1: %2").arg(shape->sqlName, e.message());
        }
    }
    return faults;
}

int run(const QString& folder, const QStringList& args) {
    const QString command = args.value(0);
    if (command == QLatin1String("check")) {
        if (args.size() != 1) return usage();
        const QStringList faults = check(folder);
        for (const QString& fault : faults) err() << fault << "\n";
        return faults.isEmpty() ? kDone : kFaulty;
    }
    QDate day;
    if (command == QLatin1String("purge")) {
        if (args.size() != 3 || args[1] != QLatin1String("--before")) return usage();
        day = QDate::fromString(args[2], Qt::ISODate);
        if (!day.isValid()) {
            err() << "tasmero-admin: not a date (YYYY-MM-DD): " << args[2] << "\n";
            return kUsage;
        }
    } else if (command == QLatin1String("backup") || command == QLatin1String("restore")) {
        if (args.size() != 2) return usage();
    } else if (command == QLatin1String("export") || command == QLatin1String("rebuild")) {
        if (args.size() != 1) return usage();
    } else {
        return usage();
    }

    try {
        maintenance::requireTablesFree(folder);
    } catch (const platform::Error& e) {
        err() << "tasmero-admin: " << e.message() << "\n";
        return kInUse;
    }

    TData1 data(folder);
    data.openTables();
    if (command == QLatin1String("backup")) {
        // A script names a folder that may not exist yet (a new month's).
        QDir().mkpath(args[1]);
        if (!maintenance::backupToMedia(folder, args[1], tablesOf(data))) return kFailed;
    } else if (command == QLatin1String("restore")) {
        maintenance::restoreFromMedia(folder, args[1], tablesOf(data));
    } else if (command == QLatin1String("export")) {
        maintenance::BitBtn2Click(data.Database1, folder);
    } else if (command == QLatin1String("purge")) {
        out() << "purge up to " << day.toString(Qt::ISODate) << " ...\n" << Qt::flush;
        const maintenance::PurgeCount count =
            maintenance::purgeUpTo(data.Giornale, data.Giacenza, day);
        out() << count.movements << " movements and " << count.stock << " stock records deleted\n";
    } else if (command == QLatin1String("rebuild")) {
        maintenance::BitBtn3Click(folder, tablesOf(data),
                                  [](const QString& caption) { out() << caption << Qt::endl; });
    }
    data.closeTables();
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) return usage();
    const QString folder = QDir(args[0]).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        err() << "tasmero-admin: no such folder: " << args[0] << "\n";
        return kUsage;
    }
    ConsolePrompts prompts;
    platform::PromptsScope scope(prompts);
    try {
        return run(folder, args.mid(1));
    } catch (const platform::Error& e) {
        err() << "tasmero-admin: " << e.message() << "\n";
        return kFailed;
    }
}
