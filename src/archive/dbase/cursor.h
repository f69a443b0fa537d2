// A Cursor is a dataset over one Table: a current order (an index tag or the
// physical order), a current record, the states browse, edit and insert,
// calculated fields, a record filter and the events the data module hangs
// its rules on.
//
// Rules it keeps
// * Deleted records, and records the filter rejects, are never current:
//   navigation skips them, whichever cursor deleted them.
// * A pending record is posted when it was changed, and dropped when not,
//   before the cursor moves, changes its order, refreshes or closes.
// * edit() on an empty dataset starts a new record; deleteRecord() on one
//   fails with "Cannot perform this operation on an empty dataset". After a
//   deletion the next record becomes current (the previous one at the end).
// * post() returns when the record is on disk, with its index entries (see
//   Table for when those reach the disk). A post that fails leaves nothing
//   stored, except with RecordStoredError: then the record is stored and the
//   cursor is back in browse mode, so that a retry cannot store it twice.
// * edit() holds the record (Table::lockRecord) until post() or cancel(),
//   and reads it from disk only once it holds it; a failed post lets go of
//   it, a retry takes it again. Closing lets go too.
// * first() sets bof(), last() sets eof(); next() past the end sets eof() and
//   stays on the last record, prior() before the start likewise with bof().
// * findKey() looks for an exact match of the whole key of the current index
//   (text shorter than the field is blank-padded); the first match becomes
//   current and it returns true; otherwise nothing moves.
// * Calculated fields are computed for every record that becomes current (and
//   for every record the filter looks at), and again whenever a stored field
//   changes while editing. They are read by name like stored fields and set
//   by the calcFields handler.
// * The events may throw: an exception from beforeDelete cancels the
//   deletion, one from beforeClose keeps the cursor open.
//
// Field access is by name without regard to case; an unknown name raises
// "Field 'NAME' not found". Text comes without trailing blanks, numbers as
// doubles (0 when blank), dates as QDate (invalid when blank).
#pragma once

#include "archive/dbase/table.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace dbase {

class Cursor {
  public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Event = std::function<void(Cursor&)>;
    using Filter = std::function<bool(Cursor&)>;

    Cursor() = default;
    explicit Cursor(const QString& tablePath) : tablePath_(tablePath) {}
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    // Set while closed.
    void setTableName(const QString& path);
    const QString& tableName() const { return tablePath_; }
    void setExclusive(bool exclusive);  // no other process nor cursor may have the table
    void setReadOnly(bool readOnly);
    bool readOnly() const { return readOnly_; }

    void open();
    void close();
    bool isOpen() const { return table_ != nullptr; }

    // Order: an index tag by name, or the physical order for an empty name.
    // The current record stays current.
    void setIndex(const QString& tagName);
    QString indexName() const;

    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    bool isEmpty() const { return recno_ == 0 && state_ != State::Insert; }

    bool findKey(const QString& value);
    bool findKey(const QDate& value);
    // Makes record `recno` current when it is live and the filter accepts
    // it; otherwise nothing moves and it returns false. For a grid whose rows
    // remember the record each one shows.
    bool moveToRecord(uint32_t recno);

    void insert();
    void append();
    void edit();
    void post();
    void cancel();
    State state() const { return state_; }
    bool modified() const { return modified_; }
    void deleteRecord();
    void refresh();
    // Records a full pass would visit (filter applied).
    int recordCount();
    // Physical record number of the current record, 0 when there is none.
    uint32_t recordNumber() const { return recno_; }

    // Fields.
    int fieldCount() const;  // stored fields
    QString fieldName(int i) const;
    bool hasField(const QString& name) const;
    QString text(const QString& name) const;
    double number(const QString& name) const;
    QDate date(const QString& name) const;
    bool logical(const QString& name) const;
    bool isBlank(const QString& name) const;
    void setText(const QString& name, const QString& value);
    void setNumber(const QString& name, double value);
    void setDate(const QString& name, const QDate& value);
    void setLogical(const QString& name, bool value);
    void clear(const QString& name);

    // Calculated fields: declared by name, filled by calcFields with setText().
    void addCalculatedField(const QString& name);
    Event calcFields;

    // The record filter; the cursor moves to the first accepted record when
    // it changes while open. An empty function accepts everything.
    void setFilter(Filter filter);

    Event beforeClose;
    Event afterPost;
    Event beforeDelete;

    Table& table() const;
    std::shared_ptr<Table> sharedTable() const { return table_; }

  private:
    struct Slot {
        int stored = -1;  // field number, or -1 for a calculated field
        int calculated = -1;
    };
    Slot slot(const QString& name) const;
    int storedField(const QString& name);
    void requireOpen() const;
    void requireEditing(const QString& name) const;
    void checkBrowseMode();
    void finishPost();
    void holdRecord(uint32_t recno);
    void releaseRecord() noexcept;
    void computeCalculated();
    void clearCurrent();

    // Position in the current order: the record number, and its key in the tag.
    struct Position {
        uint32_t recno = 0;
        QByteArray key;
    };
    std::optional<Position> edge(bool front) const;
    std::optional<Position> step(const Position& from, bool forward) const;
    bool load(const Position& p);  // makes p current when it is visible
    std::optional<Position> seekVisible(std::optional<Position> p, bool forward);
    void moveTo(std::function<std::optional<Position>()> find, bool keepOnFailure);
    Position currentPosition() const;
    void restore(const Position& p);
    template <typename F>
    auto consistently(F work) -> decltype(work());

    QString tablePath_;
    bool exclusive_ = false;
    bool readOnly_ = false;
    std::shared_ptr<Table> table_;
    uint64_t epoch_ = 0;
    int tag_ = -1;
    QString pendingIndex_;

    uint32_t recno_ = 0;
    QByteArray key_;
    QByteArray buffer_;
    bool bof_ = true;
    bool eof_ = true;

    State state_ = State::Inactive;
    bool modified_ = false;
    uint32_t lockedRecno_ = 0;  // the record this cursor holds, 0 for none
    uint32_t savedRecno_ = 0;
    QByteArray savedKey_;
    QByteArray savedBuffer_;

    std::vector<QString> calcNames_;
    std::vector<QString> calcValues_;
    bool inCalc_ = false;
    Filter filter_;
};

}  // namespace dbase
