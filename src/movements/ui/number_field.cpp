#include "movements/ui/number_field.h"

#include "platform/number_format.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace movements {

NumberField::NumberField(int integerDigits, int decimals, const QString& picture, QWidget* parent)
    : QLineEdit(parent), decimals_(decimals), picture_(picture) {
    QString pattern = QStringLiteral("[-+]?\\d{0,%1}").arg(integerDigits);
    if (decimals > 0) pattern += QStringLiteral("([.,]\\d{0,%1})?").arg(decimals);
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
