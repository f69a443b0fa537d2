// A table model over a dataset's table, for grids over registers of any size.
//
// The model walks the table in the dataset's index order with read-only
// cursors of its own, so the dataset's current record and pending changes are
// never disturbed by the grid. Rows are found lazily, a batch at a time, as
// the view scrolls towards the end (canFetchMore/fetchMore) or as the program
// asks for the row of a record that lies further on (rowOf); a row found is
// only its record number (four bytes). The texts of the cells are made when
// the view asks for them, and only the rows shown lately keep theirs (at most
// kCachedRows). reload() starts again from the top, for after a change that
// may have moved or removed rows.
//
// Column titles are the fields' labels (the field name where a field has
// none); a cell shows its field as the operator sees it (field_text.h).
// One row can carry the row marker in the vertical header: the grid's
// current row, which is the dataset's current record.
#pragma once

#include "archive/dbase/cursor.h"
#include "archive/schema.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <vector>

namespace ui {

class CursorTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kBatch = 256;
    static constexpr int kCachedRows = 1024;

    // `dataset` gives the table and, at each reload, the order.
    CursorTableModel(const dbase::Cursor& dataset, std::vector<archive::FieldSpec> columns,
                     QObject* parent = nullptr);

    const archive::FieldSpec& column(int c) const { return columns_[size_t(c)]; }

    // Reads the table afresh from its first record in the dataset's current order.
    void reload();
    // Lets go of the table (the grid shows nothing until the next reload).
    void release();

    // The record shown in `row`, 0 for none.
    uint32_t recordAt(int row) const;
    // The row that shows record `recno`, reading on as far as needed; -1
    // when the table does not hold it.
    int rowOf(uint32_t recno);
    // Moves the row marker; -1 removes it.
    void setMarkedRow(int row);
    int markedRow() const { return marked_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // Rows found so far, and the cell texts kept.
    int rowsFound() const { return int(rows_.size()); }
    int rowsWithTexts() const { return int(cells_.size()); }

  private:
    void readBatch(int count);
    const QStringList& cells(int row) const;

    const dbase::Cursor& dataset_;
    std::vector<archive::FieldSpec> columns_;
    dbase::Cursor walker_;          // finds the rows, in order
    mutable dbase::Cursor reader_;  // reads the record of a row shown
    bool atEnd_ = true;
    std::vector<uint32_t> rows_;  // record number of each row found
    QHash<uint32_t, int> rowOfRecord_;
    mutable QHash<int, QStringList> cells_;
    int marked_ = -1;
};

}  // namespace ui
