// The information dialog `frmInfo`: product, version and maker, and an OK button.
#pragma once

#include <QDialog>

class QPushButton;

class TfrmInfo : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmInfo(QWidget* parent = nullptr);
    QPushButton* OKButton = nullptr;
};

extern TfrmInfo* frmInfo;  // while the dialog is open
