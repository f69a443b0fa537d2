// What the report engine reads: a dataset walked from its first record to
// its last in its current state (its record filter included), with named,
// typed fields and their display pictures.
//
// Adapters feed it from the data module's SQL result sets and table cursors;
// `dataModuleDatasets` finds them by the names the templates use.
#pragma once

#include "reports/expression.h"

#include <functional>
#include <memory>

class TData1;
namespace sql {
class Query;
}
namespace dbase {
class Cursor;
}

namespace reports {

class ReportDataset {
  public:
    virtual ~ReportDataset() = default;
    virtual FieldCatalog fields() const = 0;
    virtual void first() = 0;
    virtual bool eof() const = 0;
    virtual void next() = 0;
    // The current record's fields, in the catalog's order.
    virtual void read(Row& row) const = 0;
};

// Each adapter reads its dataset as it finds it; an SQL result set must be open.
std::unique_ptr<ReportDataset> queryDataset(sql::Query& query);
std::unique_ptr<ReportDataset> cursorDataset(dbase::Cursor& cursor);

// A dataset by its data-module name; nullptr when there is none of that name.
using DatasetResolver = std::function<std::unique_ptr<ReportDataset>(const QString& name)>;
DatasetResolver dataModuleDatasets(TData1& data);

// A field's display picture in the archive's schema, by field name.
QString schemaDisplayFormat(const QString& fieldName);

}  // namespace reports
