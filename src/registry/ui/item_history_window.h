// The item history window `frmQuery` ("Interrogazione stato rivista"): what
// happened to one issue. The upper part shows the issue's stock record (the
// stock cursor's current record: name, stock, prices, last delivery), the
// grid below every journal record of the issue, oldest first, with the most
// recent one current and the movement type spelled out. It only shows.
//
// The main window opens it for a scanned issue key that has a stock record,
// with the stock cursor standing on that record.
#pragma once

#include "archive/sql/query.h"

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTableWidget;

class TfrmQuery : public QDialog {
    Q_OBJECT
  public:
    TfrmQuery(QWidget* parent, const QString& issueKey);
    ~TfrmQuery() override;

    QLabel* DBText1;  // NOME
    QLabel* DBText2;  // GIACENZA
    QLabel* DBText3;  // PREZZO
    QLabel* DBText4;  // ACQUISTO
    QLabel* DBText5;  // UCARICO
    QTableWidget* DBGrid1;
    QPushButton* BitBtn1;

    sql::Query Query1;

    // The movement type spelled out: "Carico", "Scarico", "Reso", else empty.
    static QString Query1CalcFields(const QString& tipo);

  private:
    void FormCreate(const QString& issueKey);
    void showStock();
    void showMovements();
};

extern TfrmQuery* frmQuery;
