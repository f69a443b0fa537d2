// The stock-in window `frmCarico` ("Carico riviste"): deliveries from the
// distributor, one issue at a time.
//
// The scan fills the window: the prices of the last delivery (or the
// magazine's, for an issue never delivered), the magazine's periodicity, and
// the focus goes to the quantity. An unknown magazine is created on the spot
// in the new-magazine window. "Registra &Carico" writes the magazine, journal
// and stock records and empties the window for the next code; the date stays,
// so a whole delivery goes under one date.
//
// Keyboard: Tab and Enter go barcode, quantity, button; the other fields are
// reached with their Alt keys; Alt+C registers from anywhere. The button sends
// the focus back to a blank quantity. There is no default and no cancel
// button: Escape does nothing, "000" or the close box close the window.
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

class TfrmCarico : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmCarico(QWidget* parent = nullptr);
    ~TfrmCarico() override;

    movements::LastMovementPanel* Panel;
    QLineEdit* Caricobarcode;
    QLabel* Label8;
    movements::NumberField* CaricoPrezzo;
    movements::NumberField* CaricoAcquisto;
    QLineEdit* CaricoPeriodicita;
    movements::NumberField* Caricoquantita;
    QDateEdit* DateEdit1;
    QPushButton* BitBtn1;

    void CaricobarcodeExit();
    void BitBtn1Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BitBtn1Enter();
    void badReading();
    void fillFromMagazine(const QString& barcode);
    void newMagazine(const QString& barcode);
    void resetWindow();
};

extern TfrmCarico* frmCarico;
