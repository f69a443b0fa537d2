#include "maintenance/index_rebuild.h"

#include "archive/archive_files.h"
#include "archive/dbase/engine_error.h"
#include "archive/dbase/table.h"
#include "archive/schema.h"
#include "platform/prompts.h"

#include <QDir>
#include <QFile>

#include <vector>

namespace maintenance {

namespace {

std::vector<const archive::TableSpec*> rebuildOrder() {
    return {&archive::riviste3(), &archive::giornale3(), &archive::giacenza3()};
}

bool hasExactlyTags(const dbase::Table& table, const std::vector<QString>& tags) {
    if (table.tagCount() != int(tags.size())) return false;
    for (const QString& tag : tags)
        if (table.findTag(tag) < 0) return false;
    return true;
}

}  // namespace

void requireTablesFree(const QString& folder) {
    for (const archive::TableSpec* shape : rebuildOrder()) {
        const QString path = archive::tablePath(folder, *shape);
        try {
            std::shared_ptr<dbase::Table> table =
                dbase::Table::open(path, dbase::Table::Access::Exclusive);
        } catch (const dbase::EngineError& e) {
            throw dbase::EngineError(
                QStringLiteral("Operazione non eseguita: l'archivio %1 non si apre in uso "
                               "esclusivo (aperto da un altro programma?). Nessun file è stato "
                               "modificato.\n%2")
                    .arg(QDir::toNativeSeparators(path), e.message()));
        }
    }
}

void rebuildIndexes(const QString& folder, const RebuildProgress& progress) {
    requireTablesFree(folder);
    for (const archive::TableSpec* shape : rebuildOrder()) {
        const QString caption = QStringLiteral("... ") + shape->sqlName;
        if (progress) progress(caption);
        const QString path = archive::tablePath(folder, *shape);
        bool packed = true;
        bool indexed = false;
        {
            std::shared_ptr<dbase::Table> table =
                dbase::Table::open(path, dbase::Table::Access::Exclusive);
            try {
                table->pack();
            } catch (const platform::Error&) {
                // Named below; the other tables are packed all the same.
                packed = false;
            }
            indexed = hasExactlyTags(*table, shape->tags);
        }
        if (!indexed) {
            // The index holds other tags than ours: made anew from the table.
            dbase::Table::clearProductionIndexFlag(path);
            QFile::remove(dbase::Table::productionIndexPath(path));
            std::shared_ptr<dbase::Table> table =
                dbase::Table::open(path, dbase::Table::Access::Exclusive);
            for (const QString& tag : shape->tags) table->addIndex(tag);
        }
        if (!packed) platform::prompts().message(kPackFailed + shape->sqlName);
        if (progress) progress(caption + QStringLiteral(" ... OK"));
    }
}

void BitBtn3Click(const QString& folder, const ArchiveTables& tables,
                  const RebuildProgress& progress) {
    tables.close();
    rebuildIndexes(folder, progress);
    tables.open();
    platform::prompts().warning(kRebuildDone);
}

}  // namespace maintenance
