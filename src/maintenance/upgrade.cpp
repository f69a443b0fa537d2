#include "maintenance/upgrade.h"

#include "archive/archive_files.h"
#include "archive/dbase/table.h"
#include "archive/schema.h"
#include "archive/sql/query.h"
#include "archive/sql/sql_database.h"
#include "archive/statements.h"
#include "platform/file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace maintenance {

QString fileNoCase(const QString& folder, const QString& name) {
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(name))) return dir.filePath(name);
    for (const QString& entry : dir.entryList(QDir::Files)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
    }
    return dir.filePath(name);
}

bool hasVersion2Archive(const QString& folder) {
    return QFileInfo(fileNoCase(folder, QStringLiteral("Riviste.dbf"))).isFile();
}

namespace {

void copyTables(const QString& folder) {
    const std::vector<const archive::TableSpec*>& tables = archive::allTables();
    for (size_t i = 0; i < tables.size(); ++i) {
        const QString oldPath = fileNoCase(folder, kVersion2Tables[qsizetype(i)]);
        const QString newPath = archive::tablePath(folder, *tables[i]);
        // The version-3 table must already be there: opening a missing file
        // fails instead of making one.
        if (!QFileInfo::exists(newPath))
            throw dbase::EngineError(
                QStringLiteral("Table does not exist: %1").arg(QDir::toNativeSeparators(newPath)));
        if (!QFileInfo::exists(oldPath))
            throw dbase::EngineError(
                QStringLiteral("Table does not exist: %1").arg(QDir::toNativeSeparators(oldPath)));
        std::shared_ptr<dbase::Table> vecchia = dbase::Table::open(oldPath);
        std::shared_ptr<dbase::Table> nuova = dbase::Table::open(newPath);
        nuova->empty();
        nuova->appendFrom(*vecchia);
    }
}

void fillNewFields(const QString& folder) {
    sql::Database database(folder);
    sql::Query query(database);
    query.setText(archive::statements::kUpgradePeriodicity);
    query.execute();
    query.setText(archive::statements::kUpgradeReturnBy);
    query.execute();
    query.close();
    database.releaseTables();
}

void deleteVersion2Files(const QString& folder, const Version2Disposal& disposal) {
    const auto remove = disposal.remove ? disposal.remove : platform::removeFile;
    const auto rename =
        disposal.rename ? disposal.rename : [](const QString& from, const QString& to) {
            try {
                platform::replaceFile(from, to);
                return true;
            } catch (const platform::FileError&) {
                return false;
            }
        };
    QStringList left;
    for (const QString& table : kVersion2Tables) {
        const QString dbf = fileNoCase(folder, table);
        const QString mdx =
            fileNoCase(folder, QFileInfo(table).completeBaseName() + QStringLiteral(".MDX"));
        for (const QString& path : {dbf, mdx}) {
            if (!QFileInfo::exists(path) || remove(path)) continue;
            // Out of the way under a name that marks it converted, so that the
            // next start does not convert it again.
            const QString converted = path + kConvertedSuffix;
            if (QFileInfo::exists(converted)) remove(converted);
            if (rename(path, converted)) continue;
            left << QDir::toNativeSeparators(path);
        }
    }
    if (!left.isEmpty()) {
        throw Version2NotRemoved(
            QStringLiteral("Unable to delete or rename %1").arg(left.join(QStringLiteral(", "))));
    }
}

}  // namespace

void upgradeVersion2(const QString& folder, const Version2Disposal& disposal) {
    copyTables(folder);
    fillNewFields(folder);
    deleteVersion2Files(folder, disposal);
}

}  // namespace maintenance
