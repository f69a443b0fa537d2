// The sorter of table cursors: an ORDER BY that names only one table's
// fields is done by that table, over the rows it has read into memory, in
// exactly the order SQLite would give them.
#pragma once

#include "archive/dbase/dbf_file.h"
#include "archive/sql/big_memory.h"
#include "archive/sql/row_set.h"

#include <cstdint>
#include <vector>

namespace sql {

// One term of an ORDER BY a table sorts for: a field, ascending or not.
struct SortTerm {
    int column = 0;
    bool desc = false;
};

// "column[d],column[d],..." in idxStr: the ORDER BY a sorted plan delivers.
std::vector<SortTerm> parseTerms(const char* idxStr);

// Puts the rows in `rows` in ORDER BY order; ties go by record number, so
// that every plan gives one order, whichever way it found the rows.
memory::Array<uint32_t> sortRows(const dbase::DbfLayout& layout, const RowSet& rows,
                                 const std::vector<SortTerm>& terms);

}  // namespace sql
