// The connection: the "dbase" module registered, and one virtual table for
// each .dbf file of the folder, kept in step with the files there.
#include "archive/sql/sql_database.h"

#include "archive/dbase/engine_error.h"
#include "archive/sql/table_module.h"

#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>

#include <map>

namespace sql {
namespace {

QString quoted(const QString& s, QChar q) {
    QString doubled = s;
    doubled.replace(q, QString(2, q));
    return q + doubled + q;
}

void exec(sqlite3* db, const QString& statement) {
    char* err = nullptr;
    if (sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString message = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        throw dbase::EngineError(message);
    }
}

}  // namespace

struct Database::Known {
    std::map<QString, QString> tables;  // SQL name -> file path
};

Database::Database(QString folder) : folder_(std::move(folder)), known_(std::make_unique<Known>()) {
    // One thread uses a connection (as it does the tables): no mutex per call.
    if (sqlite3_open_v2(":memory:", &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_close(db_);
        throw dbase::EngineError(QStringLiteral("Cannot open the SQL engine: %1").arg(message));
    }
    sqlite3_create_module(db_, "dbase", &tableModule(), nullptr);
    // The connection holds no data of its own: sorts of big results stay in
    // memory rather than going through temporary files.
    exec(db_, QStringLiteral("pragma temp_store = memory; pragma cache_size = -65536"));
}

Database::~Database() {
    sqlite3_close(db_);
}

void Database::refreshTables() {
    const QFileInfoList files = QDir(folder_).entryInfoList({QStringLiteral("*.dbf")}, QDir::Files,
                                                            QDir::Name | QDir::IgnoreCase);
    std::map<QString, QString> now;
    for (const QFileInfo& f : files)
        now.emplace(f.completeBaseName().toLower(), f.absoluteFilePath());
    if (now == known_->tables) return;
    for (const auto& [name, path] : known_->tables) {
        auto it = now.find(name);
        if (it == now.end() || it->second != path)
            exec(db_, QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(quoted(name, u'"')));
    }
    QStringList failed;
    for (const auto& [name, path] : now) {
        auto it = known_->tables.find(name);
        if (it != known_->tables.end() && it->second == path) continue;
        try {
            exec(db_, QStringLiteral("CREATE VIRTUAL TABLE temp.%1 USING dbase(%2)")
                          .arg(quoted(name, u'"'), quoted(path, u'\'')));
        } catch (const platform::Error&) {
            // A file that does not open as a table is no SQL table; a statement
            // that names it reports "no such table". Tried again next time.
            failed << name;
        }
    }
    for (const QString& name : failed) now.erase(name);
    known_->tables = std::move(now);
}

void Database::releaseTables() {
    for (const auto& [name, path] : known_->tables)
        exec(db_, QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(quoted(name, u'"')));
    known_->tables.clear();
}

}  // namespace sql
