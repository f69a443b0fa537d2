// The splash window shown while the program starts: borderless, above all
// other windows, with the program's name, version and a loading line.
#pragma once

#include <QWidget>

class TSplashForm : public QWidget {
    Q_OBJECT
  public:
    explicit TSplashForm(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
