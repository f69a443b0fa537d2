// The new-magazine window `frmaddone` ("Inserimento di una nuova rivista").
//
// The stock-in window opens it when a delivered code belongs to no magazine:
// the caller starts a new record in the magazine cursor with the barcode set,
// and the window lets the operator give the description, the prices, the
// supplier and the periodicity. "OK" (the default button: Enter in any field)
// puts what was typed into the pending record; "&No", Escape and the close box
// all answer No and leave the record untouched for the caller to cancel.
// Nothing is checked: an empty description and blank prices are stored as
// given.
//
// The window is created once, hidden, when the program starts, and shown for
// every new magazine; between showings it holds nothing of its own.
#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
namespace dbase {
class Cursor;
}

namespace movements {
class NumberField;
}

class Tfrmaddone : public QDialog {
    Q_OBJECT
  public:
    explicit Tfrmaddone(QWidget* parent = nullptr);
    ~Tfrmaddone() override;

    // Shows the window modally over the record `riviste` is inserting (its
    // BARCODE already set). True for "OK", with the fields written into the
    // record (not posted); false for any other ending.
    bool execFor(dbase::Cursor& riviste);

    QLineEdit* EditCODE;
    QLineEdit* EditNOME;
    movements::NumberField* EditPREZZO;
    movements::NumberField* EditACQUISTO;
    QLineEdit* EditFORN;
    QComboBox* EditPERIODO;
    QPushButton* BitBtn2;  // "&No"
    QPushButton* BitBtn1;  // "OK"

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BitBtn1Click();
    dbase::Cursor* record_ = nullptr;
};

extern Tfrmaddone* frmaddone;

// Creates the long-lived hidden window, owned by `owner` (the main window),
// and sets frmaddone; a second call returns the existing one.
Tfrmaddone* createFrmaddone(QWidget* owner);
