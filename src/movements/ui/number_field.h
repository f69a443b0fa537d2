// A line edit for a number the operator types at the counter.
//
// Either "." or "," typed enters the regional decimal sign, so the keypad's
// decimal key works whatever the system's settings. The field takes only what
// its archive column can hold, as the column is defined in the schema: a
// sign, the integer digits and at most the column's decimals, so no value
// typed here is refused when it is written. value() reads the text (blank or
// a lone sign: zero); setValue() shows a number through the field's picture
// (blank for zero in the pictures used).
#pragma once

#include "archive/schema.h"

#include <QLineEdit>
#include <QString>

namespace movements {

class NumberField : public QLineEdit {
  public:
    // `column`: the archive column the value is written to.
    NumberField(const archive::FieldSpec& column, const QString& picture,
                QWidget* parent = nullptr);

    double value() const;
    void setValue(double value);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    int decimals_;
    QString picture_;
};

}  // namespace movements
