// The upgrade window `Tfrom2to3`, shown by the start-up when the working
// folder still holds a version-2 archive: a borderless panel with the text
// "Aggiornamento archivi da versione 2.x a versione 3.0" and two buttons.
//
// "Esegui aggiornamento" (`BitBtn1`) converts the archive (upgrade.h) and
// closes the window with OK, or, when the conversion fails, tells so in the
// plain message box and closes it with Abort. "Annulla l'operazione"
// (`BitBtn2`), Esc, and anything else that closes the window give Cancel and
// touch no file. The start-up goes on only on OK.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

class Tfrom2to3 : public QDialog {
    Q_OBJECT
  public:
    // The window's results.
    enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3 };

    // `folder`: the working folder whose archive is converted.
    explicit Tfrom2to3(QString folder, QWidget* parent = nullptr);

    QPushButton* BitBtn1 = nullptr;  // "Esegui aggiornamento"
    QPushButton* BitBtn2 = nullptr;  // "Annulla l'operazione"

    void BitBtn1Click();
    void reject() override;

  private:
    QString folder_;
};

extern Tfrom2to3* from2to3;
