#include "ui/db_combo_box.h"

#include "archive/dbase/cursor.h"
#include "ui/db_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace ui {

DbComboBox::DbComboBox(DataSource& source, const QString& fieldName,
                       const std::vector<std::pair<QString, QString>>& entries, QWidget* parent)
    : QComboBox(parent), source_(&source), fieldName_(fieldName) {
    setEditable(false);
    for (const auto& [text, code] : entries) addItem(text, code);
    source.attach(this);
}

DbComboBox::~DbComboBox() {
    if (source_) source_->detach(this);
}

void DbComboBox::showField() {
    if (!source_) return;
    const dbase::Cursor& dataset = source_->dataset();
    setCurrentIndex(dataset.isOpen() ? findData(dataset.text(fieldName_)) : -1);
}

void DbComboBox::storeField() {
    if (!source_ || !source_->editing()) return;
    dbase::Cursor& dataset = source_->dataset();
    // Nothing chosen keeps the code the record has, listed or not.
    if (currentIndex() < 0) return;
    const QString code = currentData().toString();
    if (dataset.text(fieldName_) != code) dataset.setText(fieldName_, code);
}

void DbComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    if (source_ && source_->editing()) storeOnLeave(this, *this, event->reason());
}

// Outside editing the list shows the record and takes no choice.
void DbComboBox::keyPressEvent(QKeyEvent* event) {
    if (source_ && !source_->editing()) {
        switch (event->key()) {
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                break;
            default:
                event->ignore();
                return;
        }
    }
    QComboBox::keyPressEvent(event);
}

void DbComboBox::wheelEvent(QWheelEvent* event) {
    if (source_ && !source_->editing()) return;
    QComboBox::wheelEvent(event);
}

void DbComboBox::mousePressEvent(QMouseEvent* event) {
    if (source_ && !source_->editing()) return;
    QComboBox::mousePressEvent(event);
}

}  // namespace ui
