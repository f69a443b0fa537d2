// The sales window `frmScarico` ("Scarico riviste"): sales over the counter.
//
// Every cover scanned adds a line of one copy to the sale list and its price
// to the large running total; "&Scarica" (Enter, Alt+S or the card code "888")
// registers the list, "&Annulla" (Alt+A or "999") drops it. The list lives
// only as long as the window: closing it ("000" or the close box) discards
// the lines not registered. Escape does nothing.
//
// Enter in the barcode field presses "&Scarica", so a scanner at this window
// must end its codes with Tab; after the registration the focus comes back to
// the barcode field, also when Enter's own Tab has moved it on.
#pragma once

#include "movements/sale.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class TfrmScarico : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmScarico(QWidget* parent = nullptr);
    ~TfrmScarico() override;

    QLineEdit* Scaricobarcode;
    QLabel* Label8;
    QLabel* Label3;
    QLabel* Totale;
    QTableWidget* DBGrid1;
    QPushButton* BitBtn1;  // "&Annulla"
    QPushButton* BitBtn2;  // "&Scarica"

    const movements::SaleList& saleList() const { return appoData_; }

    void ScaricobarcodeExit();
    void BitBtn1Click();
    void BitBtn2Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void addLine();
    void showList();
    // Adds one line to the grid; returns its row.
    int appendRow(const movements::SaleLine& line);
    void showTotal();
    void backToBarcode();

    movements::SaleList appoData_;
};

extern TfrmScarico* frmScarico;
