// A drop-down list bound to one text field: it offers fixed entries, each
// standing for a stored code, and admits no free text. It shows the entry of
// the current record's code, nothing for a code it does not list, and stores
// the chosen entry's code. Like DbEdit it takes a choice only while the
// dataset edits a record, and hands it over when the focus leaves it or the
// source asks.
#pragma once

#include "ui/data_source.h"

#include <QComboBox>
#include <QPointer>
#include <QString>
#include <utility>
#include <vector>

namespace ui {

class DbComboBox : public QComboBox, public BoundControl {
    Q_OBJECT
  public:
    // `entries`: the text shown and the code stored, in listing order.
    DbComboBox(DataSource& source, const QString& fieldName,
               const std::vector<std::pair<QString, QString>>& entries, QWidget* parent = nullptr);
    ~DbComboBox() override;

    void showField() override;
    void storeField() override;

  protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QPointer<DataSource> source_;
    QString fieldName_;
};

}  // namespace ui
