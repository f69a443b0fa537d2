// A line edit bound to one field of a data source's dataset.
//
// Outside editing it shows the field through its display picture and ignores
// typing; while the dataset edits a record it shows the edit picture and
// takes typing, at most as many characters as a text field holds, and for a
// number field only a sign, digits and one decimal sign. It hands its text to
// the field when the focus leaves it for another control, and whenever the
// source asks (before a save). A number it cannot read raises
// "'<text>' is not a valid floating point value"; on leaving, that error is
// shown and the focus stays in the box. An empty box blanks the field.
#pragma once

#include "archive/schema.h"
#include "ui/data_source.h"

#include <QLineEdit>
#include <QPointer>

namespace ui {

class DbEdit : public QLineEdit, public BoundControl {
    Q_OBJECT
  public:
    DbEdit(DataSource& source, const archive::FieldSpec& field, QWidget* parent = nullptr);
    ~DbEdit() override;

    const archive::FieldSpec& field() const { return field_; }

    void showField() override;
    void storeField() override;

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QPointer<DataSource> source_;
    archive::FieldSpec field_;
};

// Hands a control's value over when the focus leaves it for another control
// of the window; a refused value is shown and the focus goes back.
// A box popping up takes the focus too: that is no leaving.
void storeOnLeave(QWidget* control, BoundControl& bound, Qt::FocusReason reason);

}  // namespace ui
