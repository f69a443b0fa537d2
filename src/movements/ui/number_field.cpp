#include "movements/ui/number_field.h"

#include "platform/number_format.h"
#include "ui/field_text.h"

#include <QKeyEvent>

namespace movements {

NumberField::NumberField(const archive::FieldSpec& column, const QString& picture, QWidget* parent)
    : QLineEdit(parent), decimals_(column.decimals), picture_(picture) {
    setValidator(ui::numberValidator(column, this));
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
