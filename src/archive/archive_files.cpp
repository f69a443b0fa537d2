#include "archive/archive_files.h"

#include "archive/dbase/table.h"

#include <QDir>
#include <QFileInfo>

namespace archive {

QString tablePath(const QString& folder, const TableSpec& table) {
    const QDir dir(folder);
    const QStringList found = dir.entryList({table.fileName}, QDir::Files | QDir::CaseSensitive);
    if (!found.isEmpty()) return dir.filePath(found.first());
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (name.compare(table.fileName, Qt::CaseInsensitive) == 0) return dir.filePath(name);
    }
    return dir.filePath(table.fileName);
}

void createTable(const QString& folder, const TableSpec& table) {
    std::vector<dbase::Field> fields;
    for (const FieldSpec& f : table.fields) {
        dbase::Field field;
        field.name = f.name;
        field.type = f.type;
        field.length = f.length;
        field.decimals = f.decimals;
        fields.push_back(field);
    }
    dbase::Table::create(tablePath(folder, table), fields, table.tags);
}

int createMissingTables(const QString& folder) {
    int made = 0;
    for (const TableSpec* table : allTables()) {
        if (QFileInfo::exists(tablePath(folder, *table))) continue;
        createTable(folder, *table);
        ++made;
    }
    return made;
}

}  // namespace archive
