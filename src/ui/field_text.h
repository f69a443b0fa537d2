// A field of the current record as the operator sees it: text as stored
// (without trailing blanks), a number through the field's display picture
// (the general format when it has none, nothing when blank), a date in the
// regional short format.
#pragma once

#include "archive/schema.h"

#include <QString>

namespace dbase {
class Cursor;
}

namespace ui {

QString displayText(const dbase::Cursor& dataset, const archive::FieldSpec& field);
// As displayText, with the edit picture for numbers: what the operator edits.
QString editText(const dbase::Cursor& dataset, const archive::FieldSpec& field);

// The field of that name in `table`; throws platform::Error for an unknown one.
const archive::FieldSpec& fieldSpec(const archive::TableSpec& table, const QString& name);

bool isNumberField(const archive::FieldSpec& field);

}  // namespace ui
