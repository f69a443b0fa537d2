// A SQL statement over the archive, as the windows and reports use it: built
// line by line, with bound parameters, then either executed (a change) or
// opened (a read-only result held in memory, with an exact record count,
// typed, named fields and navigation).
//
// Every value goes in as a bound parameter (?1, ?2 ... or ?): text put into a
// statement can neither break it nor change what it does.
//
// An optional record filter is asked about every row while the result is
// read; rejected rows are not part of the result. Errors raise EngineError
// with the SQL engine's or the table engine's message.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace sql {

class Database;

class Query {
  public:
    enum class FieldType { Text, Number, Date };

    explicit Query(Database& db);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // The statement text.
    void clear();  // also drops bound values; closes an open result
    void add(const QString& line);
    void setText(const QString& text);
    QString text() const { return lines_.join(u'\n'); }

    // Values for the statement's parameters, 1-based. A null QVariant or an
    // invalid QDate binds NULL; a QDate binds its Julian day.
    void bind(int position, const QVariant& value);

    // Runs a statement that changes tables; returns the number of rows changed.
    int execute();

    // Runs a statement that reads, holding its whole result. A statement that
    // would change a table is refused.
    void open();
    void close();
    bool isOpen() const { return open_; }

    // Called at the start of every open(), before the statement is prepared:
    // where a run takes what its filter reads.
    std::function<void()> beforeOpen;
    // Called for each row read by open(); the row is the current one while it
    // runs, so the usual accessors read it. false leaves the row out.
    std::function<bool(const Query&)> filter;

    int recordCount() const { return int(rows_); }
    int fieldCount() const;
    QString fieldName(int field) const;
    FieldType fieldType(int field) const;
    // Field number by name, without regard to case; throws when missing.
    int fieldIndex(const QString& name) const;

    // Navigation over the result.
    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    bool isEmpty() const { return rows_ == 0; }
    int recNo() const { return int(row_); }  // 0-based
    void moveTo(int row);

    // Values of the current row. Text: "" for NULL; number: 0 for NULL;
    // date: invalid for NULL or a non-date.
    QVariant value(int field) const;
    bool isNull(int field) const;
    QString text(const QString& name) const { return text(fieldIndex(name)); }
    double number(const QString& name) const { return number(fieldIndex(name)); }
    QDate date(const QString& name) const { return date(fieldIndex(name)); }
    QString text(int field) const;
    double number(int field) const;
    QDate date(int field) const;

  private:
    struct Column;
    struct Statement;
    std::unique_ptr<Statement> prepare();
    void checkRow() const;

    Database& db_;
    QStringList lines_;
    std::vector<QVariant> bindings_;
    std::vector<Column> columns_;
    size_t rows_ = 0;
    size_t row_ = 0;
    bool open_ = false;
    bool eof_ = true;
    bool bof_ = true;
    bool filling_ = false;  // the filter is looking at the row being read
};

}  // namespace sql
