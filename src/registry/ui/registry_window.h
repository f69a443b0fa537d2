// The magazine registry `frmAnagrafica` ("Anagrafica Riviste"): the register
// of magazines in name order, one magazine at a time on the page "SINGOLO",
// the list with its search on the page "LISTA", and the commands that create,
// modify and delete magazines.
//
// The window works on the data module's magazine dataset through its data
// source `DataRiviste`: it moves and edits that dataset, and the grid's
// current row is the dataset's current record. It has two modes:
// * browse: the boxes show the current magazine and ignore typing; Esci,
//   Nuovo, Modifica, Elimina, Elenco and the navigator work;
// * editing (after Nuovo or Modifica): only the boxes, Conferma and Annulla.
// Conferma refuses an empty barcode, a new barcode already in the register,
// and any change to the barcode of a stored magazine (its stock and journal
// records carry it in their issue keys). Closing the window while editing
// asks whether to confirm: Yes runs Conferma (a refusal keeps the window
// open), anything else discards the pending record. Elimina leaves the
// questions and the removal of stock and movements to the data module.
//
// The main window opens it with the magazines ordered by name; the grid
// reads them when the window is shown.
#pragma once

#include <QDialog>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;
class QModelIndex;
class QPushButton;
class QStackedWidget;
class QStatusBar;
class QTableView;
class QToolBar;

namespace ui {
class CursorTableModel;
class DataSource;
class DbComboBox;
class DbEdit;
class DbNavigator;
}  // namespace ui

class TfrmAnagrafica : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmAnagrafica(QWidget* parent = nullptr);
    ~TfrmAnagrafica() override;

    QAction* actEsci;
    QAction* actNuovo;
    QAction* actModifica;
    QAction* actElimina;
    QAction* actElenco;
    QAction* actConferma;
    QAction* actAnnulla;
    QAction* actRicerca;
    QAction* actRicerca1;

    QMenuBar* MainMenu1;
    QToolBar* ToolBar1;
    ui::DbNavigator* DBNav;
    QStatusBar* StatusBar1;
    QStackedWidget* Notebook1;
    QWidget* SINGOLO;
    QWidget* LISTA;

    ui::DataSource* DataRiviste;
    ui::DbEdit* EditCODE;
    ui::DbEdit* EditNOME;
    ui::DbEdit* EditPREZZO;
    ui::DbEdit* EditACQUISTO;
    ui::DbEdit* EditFORN;
    ui::DbComboBox* EditPERIODO;
    QPushButton* btnConferma;
    QPushButton* btnAnnulla;

    QTableView* RivisteGrid;
    ui::CursorTableModel* RivisteModel;
    QLabel* lblCampoRicerca;
    QLabel* lblCampoRicerca1;  // hidden: the field the search compares against
    QLineEdit* ediRicerca;
    QPushButton* btnRicerca;
    QPushButton* btnRicerca1;

    bool editing() const { return editing_; }
    // The size of the window on the page "SINGOLO".
    QSize normalSize() const { return normalSize_; }

    // Handlers; each shows its own error and leaves the window as it was.
    void actNuovoExecute();
    void actModificaExecute();
    void actEliminaExecute();
    void actAnnullaExecute();
    // True when the record was saved (or there was none to save).
    bool actConfermaExecute();
    void actElencoExecute();
    void actRicercaExecute();
    void actRicerca1Execute();
    void dbgProdottiCellClick(const QModelIndex& index);
    void dbgProdottiDblClick();
    void Notebook1PageChanged();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FormCreate();
    void buildSinglePage();
    void buildListPage();
    void enterEditing();
    void leaveEditing();
    void recordMoved();
    void showCurrentRow();
    void gridRowChanged(int row);
    void search(bool fromStart);
    bool FormKeyPress(QObject* watched, QKeyEvent* event);

    bool editing_ = false;
    bool syncingGrid_ = false;
    QString storedBarcode_;  // of the magazine under Modifica, as it is on disk
    QSize normalSize_;
};

extern TfrmAnagrafica* frmAnagrafica;
