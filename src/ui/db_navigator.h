// A record navigator: four flat buttons that move a data source's dataset to
// its first, previous, next and last record, in that order. First and
// previous are off on the first record, next and last on the last one, all
// four on an empty dataset or while it edits a record. Each button's hint is
// "short|long": the short part is its tooltip, the long part its status tip.
#pragma once

#include "ui/data_source.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>

class QToolButton;

namespace ui {

class DbNavigator : public QWidget {
    Q_OBJECT
  public:
    enum Button { First, Prior, Next, Last };

    DbNavigator(DataSource& source, QWidget* parent = nullptr);

    void setHints(const std::array<QString, 4>& hints);
    QToolButton* button(Button which) const { return buttons_[which]; }
    // Presses a button as a click does, and tells the source.
    void btnClick(Button which);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void updateButtons();

    QPointer<DataSource> source_;
    std::array<QToolButton*, 4> buttons_{};
};

}  // namespace ui
