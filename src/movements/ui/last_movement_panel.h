// The last movement panel of the stock-in and returns windows: date,
// quantity, type, name, issue number and price of the record the journal
// cursor stands on. When the window opens that is the journal's last record;
// after a registration, the record just written. The panel reads the cursor
// only when told to (showRecord()), so it never moves it.
#pragma once

#include <QWidget>

class QLabel;
namespace dbase {
class Cursor;
}

namespace movements {

class LastMovementPanel : public QWidget {
  public:
    explicit LastMovementPanel(QWidget* parent = nullptr);

    void showRecord(const dbase::Cursor& giornale);

    QLabel* DBText1;  // DATA
    QLabel* DBText2;  // QUANTITA
    QLabel* DBText6;  // TIPO
    QLabel* DBText3;  // NOME
    QLabel* DBText4;  // NUMERO
    QLabel* DBText5;  // PREZZO
};

}  // namespace movements
