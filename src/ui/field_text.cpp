#include "ui/field_text.h"

#include "archive/dbase/cursor.h"
#include "platform/dates.h"
#include "platform/error.h"
#include "platform/number_format.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace ui {

namespace {

QString shown(const dbase::Cursor& dataset, const archive::FieldSpec& field,
              const QString& picture) {
    if (field.type == 'D') return platform::formatDate(dataset.date(field.name));
    if (!isNumberField(field)) return dataset.text(field.name);
    if (dataset.isBlank(field.name)) return {};
    const double value = dataset.number(field.name);
    return picture.isEmpty() ? platform::formatGeneral(value)
                             : platform::formatNumber(value, picture);
}

}  // namespace

bool isNumberField(const archive::FieldSpec& field) {
    return field.type == 'N' || field.type == 'F';
}

QValidator* numberValidator(const archive::FieldSpec& field, QObject* parent) {
    const int digits = field.length - field.decimals - 1;
    const int negativeDigits = field.decimals > 0 ? digits - 1 : digits;
    QString pattern = QStringLiteral("(\\+?\\d{0,%1}|-\\d{0,%2})").arg(digits).arg(negativeDigits);
    if (field.decimals > 0) pattern += QStringLiteral("([.,]\\d{0,%1})?").arg(field.decimals);
    return new QRegularExpressionValidator(QRegularExpression(pattern), parent);
}

QString displayText(const dbase::Cursor& dataset, const archive::FieldSpec& field) {
    return shown(dataset, field, field.displayFormat);
}

QString editText(const dbase::Cursor& dataset, const archive::FieldSpec& field) {
    return shown(dataset, field, field.editFormat);
}

const archive::FieldSpec& fieldSpec(const archive::TableSpec& table, const QString& name) {
    for (const archive::FieldSpec& f : table.fields) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) return f;
    }
    throw platform::Error(QStringLiteral("Field '%1' not found").arg(name));
}

}  // namespace ui
