#include "movements/ui/number_field.h"

#include "platform/number_format.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace movements {

NumberField::NumberField(const archive::FieldSpec& column, const QString& picture, QWidget* parent)
    : QLineEdit(parent), decimals_(column.decimals), picture_(picture) {
    // The column stores the number right-aligned in `length` characters, with
    // all its decimals behind a point. One place is kept for the point, or
    // in a column of whole numbers for the sign; a negative number with
    // decimals needs both, so it gets one integer digit fewer.
    const int digits = column.length - column.decimals - 1;
    const int negativeDigits = column.decimals > 0 ? digits - 1 : digits;
    QString pattern = QStringLiteral("(\\+?\\d{0,%1}|-\\d{0,%2})").arg(digits).arg(negativeDigits);
    if (decimals_ > 0) pattern += QStringLiteral("([.,]\\d{0,%1})?").arg(decimals_);
    setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

double NumberField::value() const {
    return platform::parseNumber(text()).value_or(0);
}

void NumberField::setValue(double value) {
    setText(platform::formatNumber(value, picture_));
}

void NumberField::keyPressEvent(QKeyEvent* event) {
    const QString text = platform::numberKeyText(event->text());
    if (decimals_ > 0 && text != event->text()) {
        QKeyEvent replaced(event->type(), event->key(), event->modifiers(), text,
                           event->isAutoRepeat(), ushort(event->count()));
        QLineEdit::keyPressEvent(&replaced);
        event->setAccepted(replaced.isAccepted());
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace movements
