// SQL over the archive: an SQLite connection in which every .dbf table of the
// working folder is a virtual table named after its file (lower case, without
// extension), reaching the very Table objects the cursors use.
//
// Column values: C fields as text without their padding (trailing blanks, or
// the NULs some dBASE tools pad with); N and F fields as
// reals (NULL when blank); D fields as Julian day numbers (NULL when blank), so
// dates compare, sort and take "+ 15" as whole days; L fields as 0/1 (NULL when
// unset). Result columns that come straight from a date field are turned back
// into dates by Query; a date column written from a number takes it as a
// Julian day.
//
// An equality constraint on a field with a tag is answered from the index; on
// any other character field, by a scan that compares raw field bytes before
// SQLite looks at the row. Within one statement, the rows found for a value
// through a character tag are kept and reused (a join looks up the same
// magazine again and again) until the table changes, in this process or,
// once caught up with, in another. An ORDER BY that names only fields of one
// table, in the order it lists them, is done by that table: its rows are read
// into memory and sorted there exactly as SQLite would order them (ties in
// record order). UPDATE, INSERT and DELETE write through the table engine with
// its locks and durability; a statement is durable when it returns. A value a
// field cannot hold as given refuses the statement with the field's name:
// text that is not wholly a number (in the stored form, a point for decimals)
// for a number field, NaN or infinity, a fraction for a field of whole
// numbers, text holding a NUL. Numbers are stored rounded half away from zero
// to the field's decimals, as the number pictures show them.
//
// A connection is used by one thread (it is opened without SQLite's mutex).
#pragma once

#include <QString>
#include <memory>

struct sqlite3;

namespace sql {

// SQLite turns a bound NaN into NULL, which a write would store as a blank
// field without a word. Query binds a NaN as this blob instead: a write
// refuses it by name, and it equals no stored value.
inline constexpr char kNaNBlob[] = {'\x7f', 'N', 'a', 'N'};

class Database {
  public:
    // `folder`: where the .dbf files are looked for, now and at every statement.
    explicit Database(QString folder);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return db_; }
    const QString& folder() const { return folder_; }

    // Makes the virtual tables match the .dbf files now in the folder. Cheap
    // when nothing changed; called before every statement.
    void refreshTables();

    // Drops every virtual table, releasing this connection's hold on the
    // tables (needed before they are opened exclusively or replaced).
    void releaseTables();

  private:
    QString folder_;
    sqlite3* db_ = nullptr;
    struct Known;
    std::unique_ptr<Known> known_;
};

}  // namespace sql
