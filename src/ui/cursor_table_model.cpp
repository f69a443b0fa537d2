#include "ui/cursor_table_model.h"

#include "platform/error.h"
#include "ui/field_text.h"

namespace ui {

CursorTableModel::CursorTableModel(const dbase::Cursor& dataset,
                                   std::vector<archive::FieldSpec> columns, QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset), columns_(std::move(columns)) {
    walker_.setReadOnly(true);
    reader_.setReadOnly(true);
}

void CursorTableModel::release() {
    beginResetModel();
    walker_.close();
    reader_.close();
    rows_.clear();
    rowOfRecord_.clear();
    cells_.clear();
    atEnd_ = true;
    marked_ = -1;
    endResetModel();
}

void CursorTableModel::reload() {
    release();
    walker_.setTableName(dataset_.tableName());
    walker_.setIndex(dataset_.indexName());
    walker_.open();
    reader_.setTableName(dataset_.tableName());
    reader_.open();
    atEnd_ = walker_.isEmpty();
    readBatch(kBatch);
}

void CursorTableModel::readBatch(int count) {
    if (atEnd_ || count <= 0) return;
    std::vector<uint32_t> batch;
    batch.reserve(size_t(count));
    while (int(batch.size()) < count && !atEnd_) {
        batch.push_back(walker_.recordNumber());
        walker_.next();
        atEnd_ = walker_.eof();
    }
    const int first = int(rows_.size());
    beginInsertRows(QModelIndex(), first, first + int(batch.size()) - 1);
    for (uint32_t recno : batch) {
        rowOfRecord_.insert(recno, int(rows_.size()));
        rows_.push_back(recno);
    }
    endInsertRows();
}

const QStringList& CursorTableModel::cells(int row) const {
    auto it = cells_.find(row);
    if (it != cells_.end()) return it.value();
    // Only the rows shown lately keep their texts: a grid scrolled through a
    // large register holds no more than a few screens of them.
    if (cells_.size() >= kCachedRows) cells_.clear();
    QStringList texts;
    texts.reserve(qsizetype(columns_.size()));
    try {
        if (reader_.isOpen() && reader_.moveToRecord(rows_[size_t(row)])) {
            for (const archive::FieldSpec& f : columns_) texts << displayText(reader_, f);
        }
    } catch (const platform::Error&) {
        // Painting cannot stop for a box: a record that cannot be read shows
        // blank, and the next reload says what is wrong.
        texts.clear();
    }
    return cells_.insert(row, texts).value();
}

uint32_t CursorTableModel::recordAt(int row) const {
    return row >= 0 && row < int(rows_.size()) ? rows_[size_t(row)] : 0;
}

int CursorTableModel::rowOf(uint32_t recno) {
    if (recno == 0) return -1;
    for (;;) {
        const auto it = rowOfRecord_.constFind(recno);
        if (it != rowOfRecord_.cend()) return it.value();
        if (atEnd_) return -1;
        readBatch(kBatch);
    }
}

void CursorTableModel::setMarkedRow(int row) {
    if (row == marked_) return;
    const int old = marked_;
    marked_ = row;
    if (old >= 0 && old < rowCount()) emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < rowCount()) emit headerDataChanged(Qt::Vertical, row, row);
}

int CursorTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int CursorTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant CursorTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) return {};
    if (role == Qt::DisplayRole) return cells(index.row()).value(index.column());
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(
            Qt::AlignVCenter |
            (isNumberField(columns_[size_t(index.column())]) ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant CursorTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= int(columns_.size())) return {};
        const archive::FieldSpec& f = columns_[size_t(section)];
        return f.label.isEmpty() ? f.name : f.label;
    }
    return section == marked_ ? QStringLiteral("\u25B6") : QString();
}

bool CursorTableModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !atEnd_;
}

void CursorTableModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid()) readBatch(kBatch);
}

}  // namespace ui
