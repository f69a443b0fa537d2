// The returns window `frmResi` ("Resi riviste"): unsold copies sent back to
// the distributor.
//
// The scan shows the issue's name and current stock and proposes the whole
// stock as the quantity; "&Registra Reso" (Alt+R from anywhere) writes a
// journal record of type "R" and lowers the stock. Tab and Enter go barcode,
// quantity, button; the date is reached with Alt+D. Escape does nothing;
// "000" or the close box close the window.
#pragma once

#include <QDialog>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace movements {
class LastMovementPanel;
class NumberField;
}  // namespace movements

class TfrmResi : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmResi(QWidget* parent = nullptr);
    ~TfrmResi() override;

    movements::LastMovementPanel* Panel;
    QLineEdit* Resobarcode;
    QLabel* Label10;
    QLabel* Label8;
    movements::NumberField* Resoquantita;
    QDateEdit* DateEdit1;
    QPushButton* BitBtn1;

    void ResobarcodeExit();
    void BitBtn1Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void indexError(const QString& status);
};

extern TfrmResi* frmResi;
