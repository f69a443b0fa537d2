// The selection window `selezioneform` ("Selezione per le stampe"): what the
// operator wants in the next printed list.
//
// Created once, hidden, when the program starts, and only shown and hidden
// afterwards: every value the operator sets stays for the next list of the
// same run. Two pages without tabs, chosen by the print command: "Giornale"
// (date range, stock not zero, magazine, supplier, material) and "Scaduti"
// (the check date of the expired issues). "&Annulla" has the focus when the
// window shows; "&Stampa" is the default button and the only way to a list:
// Esc and the close box cancel.
//
// The magazine list offers "(tutte)" and then every magazine's name in the
// magazine table's current order, read afresh at each showing; Esc in the
// closed list puts it back to "(tutte)" (a second Esc cancels the window).
//
// selection() reads the controls as they stand; the print filters take it at
// the start of each list.
#pragma once

#include "archive/print_filters.h"

#include <QComboBox>
#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace reports {
class DateBox;

// The drop-down look-up list of magazine names.
class MagazineList : public QComboBox {
    Q_OBJECT
  public:
    explicit MagazineList(QWidget* parent = nullptr);
    // "(tutte)" and then `names`; the chosen name stays chosen if it is still there.
    void setNames(const QStringList& names);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};
}  // namespace reports

class Tselezioneform : public QDialog {
    Q_OBJECT
  public:
    explicit Tselezioneform(QWidget* parent = nullptr);
    ~Tselezioneform() override;

    using Page = archive::PrintSelection::Page;
    void showPage(Page page);
    Page page() const;

    // The values of the controls as they stand now.
    archive::PrintSelection selection() const;

    // The magazine names for the look-up list, in the table's current order.
    std::function<QStringList()> magazineNames;

    QStackedWidget* PageControl1;
    QWidget* Giornale;
    QWidget* Scaduti;
    reports::DateBox* DateEdit1;
    reports::DateBox* DateEdit2;
    QCheckBox* CheckBox1;
    reports::MagazineList* Selriviste;
    QLineEdit* Edit1;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    reports::DateBox* DateEdit3;
    QPushButton* BitBtn1;  // "&Annulla"
    QPushButton* BitBtn2;  // "&Stampa"

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* makeGiornalePage();
    QWidget* makeScadutiPage();
    void FormShow();
};

extern Tselezioneform* selezioneform;

// Creates the long-lived hidden window owned by `owner` and sets
// selezioneform; a second call returns the existing one.
Tselezioneform* createSelezioneform(QWidget* owner);
