// A field of the current record as the operator sees it: text as stored
// (without trailing blanks), a number through the field's display picture
// (the general format when it has none, nothing when blank), a date in the
// regional short format.
#pragma once

#include "archive/schema.h"

#include <QString>

class QObject;
class QValidator;

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

// What a box for the number field accepts: only what the column can hold,
// so nothing typed is refused when it is written. The column stores the
// number right-aligned in `length` characters with all its decimals behind a
// point; one place goes to the point, or in a column of whole numbers to the
// sign, and a negative number with decimals needs both, so it gets one
// integer digit fewer. Either "." or "," may separate the decimals.
QValidator* numberValidator(const archive::FieldSpec& field, QObject* parent);

}  // namespace ui
