// Helpers shared by the table engine tests: scratch folders, fixture copies,
// the fixture CSV reader, and a small journal-like table.
#pragma once

#include "archive/dbase/table.h"
#include "platform/cp1252.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

namespace dbase::test {

// A field definition in one line: field("PREZZO", 'N', 10, 2).
inline Field field(const char* name, char type, int length, int decimals = 0) {
    Field f;
    f.name = QString::fromLatin1(name);
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    return f;
}

// The message of the error `f` raises, or "(no error)".
inline std::string message(const std::function<void()>& f) {
    try {
        f();
    } catch (const platform::Error& e) {
        return e.message().toStdString();
    }
    return "(no error)";
}

inline QString fixture(const QString& name) {
    return QStringLiteral(TASMERO_FIXTURES "/dbase/") + name;
}

// A file's bytes (empty when it cannot be read), and a file made of given bytes.
inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A writable copy of a fixture table and its index in `dir`; returns the .dbf path.
inline QString copyFixture(const QTemporaryDir& dir, const QString& table) {
    for (const QString& ext : {QStringLiteral(".DBF"), QStringLiteral(".MDX")}) {
        const QString to = dir.filePath(table + ext);
        QFile::remove(to);
        EXPECT_TRUE(QFile::copy(fixture(table + ext), to)) << table.toStdString();
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }
    return dir.filePath(table + QStringLiteral(".DBF"));
}

// The fixture CSVs: Windows-1252, LF, a header line, every value double-quoted
// (the two leading numbers of a row may be bare).
inline std::vector<QStringList> readCsv(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QString text = platform::cp1252::decode(file.readAll());
    std::vector<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    bool started = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            started = true;
        } else if (c == QLatin1Char(',')) {
            row << cell;
            cell.clear();
        } else if (c == QLatin1Char('\n')) {
            row << cell;
            rows.push_back(row);
            row.clear();
            cell.clear();
            started = false;
        } else {
            cell += c;
            started = true;
        }
    }
    if (started || !row.isEmpty()) {
        row << cell;
        rows.push_back(row);
    }
    if (!rows.empty()) rows.erase(rows.begin());  // the header line
    return rows;
}

// A small journal-like table: ID C18 and DATA D carry tags.
inline std::vector<Field> journalFields() {
    return {{QStringLiteral("ID"), 'C', 18, 0},
            {QStringLiteral("DATA"), 'D', 8, 0},
            {QStringLiteral("QUANTITA"), 'N', 10, 0},
            {QStringLiteral("PREZZO"), 'N', 10, 2},
            {QStringLiteral("TIPO"), 'C', 1, 0}};
}

inline QString createJournal(const QTemporaryDir& dir,
                             const QString& name = QStringLiteral("J.DBF")) {
    const QString path = dir.filePath(name);
    Table::create(path, journalFields(), {QStringLiteral("ID"), QStringLiteral("DATA")});
    return path;
}

}  // namespace dbase::test
