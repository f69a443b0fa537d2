// Rows copied out of a table into one piece of memory, with their record
// numbers: what a sort orders and what a cached look-up hands out again.
#pragma once

#include "archive/dbase/dbf_file.h"
#include "archive/sql/big_memory.h"

#include <QByteArrayView>

#include <cstdint>
#include <vector>

namespace sql {

// Rows copied out of the table: records back to back, with their numbers.
struct RowSet {
    memory::Bytes bytes;
    std::vector<uint32_t> recnos;
    size_t size() const { return recnos.size(); }
    void add(QByteArrayView record, uint32_t recno) {
        bytes.append(record.data(), size_t(record.size()));
        recnos.push_back(recno);
    }
    void clear() {
        bytes.clear();
        recnos.clear();
    }
    void reserve(size_t rows, const dbase::DbfLayout& layout) {
        bytes.reserve(rows * size_t(layout.recordLength()));
        recnos.reserve(rows);
    }
};

}  // namespace sql
