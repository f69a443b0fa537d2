#include "ui/db_edit.h"

#include "archive/dbase/cursor.h"
#include "platform/number_format.h"
#include "ui/field_text.h"
#include "ui/slot_guard.h"

#include <QFocusEvent>
#include <QTimer>

namespace ui {

void storeOnLeave(QWidget* control, BoundControl& bound, Qt::FocusReason reason) {
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
    if (runGuarded(control, [&] { bound.storeField(); })) return;
    QPointer<QWidget> guard(control);
    QTimer::singleShot(0, control, [guard] {
        if (guard) guard->setFocus(Qt::OtherFocusReason);
    });
}

DbEdit::DbEdit(DataSource& source, const archive::FieldSpec& field, QWidget* parent)
    : QLineEdit(parent), source_(&source), field_(field) {
    if (isNumberField(field_)) {
        setValidator(numberValidator(field_, this));
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    } else {
        setMaxLength(field_.length);
    }
    source.attach(this);
}

DbEdit::~DbEdit() {
    if (source_) source_->detach(this);
}

void DbEdit::showField() {
    if (!source_) return;
    const dbase::Cursor& dataset = source_->dataset();
    const bool editing = source_->editing();
    setReadOnly(!editing);
    if (!dataset.isOpen()) {
        clear();
        return;
    }
    setText(editing ? ui::editText(dataset, field_) : ui::displayText(dataset, field_));
    setCursorPosition(0);
}

void DbEdit::storeField() {
    if (!source_ || !source_->editing()) return;
    dbase::Cursor& dataset = source_->dataset();
    const QString value = text();
    if (!isNumberField(field_)) {
        if (dataset.text(field_.name) != value) dataset.setText(field_.name, value);
        return;
    }
    if (value.trimmed().isEmpty()) {
        if (!dataset.isBlank(field_.name)) dataset.clear(field_.name);
        return;
    }
    const double number = platform::toNumber(value);
    if (dataset.isBlank(field_.name) || dataset.number(field_.name) != number)
        dataset.setNumber(field_.name, number);
}

void DbEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (source_ && source_->editing()) storeOnLeave(this, *this, event->reason());
}

}  // namespace ui
