#include "registry/ui/registry_window.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "archive/statements.h"
#include "platform/number_format.h"
#include "platform/prompts.h"
#include "registry/magazine_search.h"
#include "ui/action_button.h"
#include "ui/cursor_table_model.h"
#include "ui/data_source.h"
#include "ui/db_combo_box.h"
#include "ui/db_edit.h"
#include "ui/db_navigator.h"
#include "ui/field_text.h"
#include "ui/slot_guard.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

TfrmAnagrafica* frmAnagrafica = nullptr;

namespace {

const QString kBarcodeRequired = QStringLiteral("   Obbligatorio inserire il BARCODE   ");
const QString kDuplicate = QStringLiteral("   ID rivista duplicato !   ");
const QString kBarcodeFixed =
    QStringLiteral("   Non puoi cambiare il codice di una rivista gia' registrata !   ");
const QString kConfirmOnClose = QStringLiteral("   Confermi le modifiche alla rivista ?   ");

// The client area the page "SINGOLO" needs at least.
constexpr QSize kNormalClient(428, 231);

const QString& field(const char* name) {
    return ui::fieldSpec(archive::riviste3(), QLatin1String(name)).name;
}

QAction* makeAction(QWidget* owner, const char* name, const char* caption, const char* hint,
                    QStyle::StandardPixmap picture) {
    auto* action =
        new QAction(owner->style()->standardIcon(picture), QString::fromUtf8(caption), owner);
    action->setObjectName(QLatin1String(name));
    ui::setHint(action, hint);
    return action;
}

QPushButton* actionButton(QAction* action, const char* name, QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    ui::bindToAction(button, action);
    return button;
}

}  // namespace

TfrmAnagrafica::TfrmAnagrafica(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    frmAnagrafica = this;
    setObjectName(QStringLiteral("frmAnagrafica"));
    setWindowTitle(QStringLiteral("Anagrafica Riviste"));

    DataRiviste = new ui::DataSource(Data1->Riviste, this);
    DataRiviste->setObjectName(QStringLiteral("DataRiviste"));

    actEsci = makeAction(this, "actEsci", "&Esci", "Esci|Chiude l'applicazione",
                         QStyle::SP_DialogCloseButton);
    actNuovo = makeAction(this, "actNuovo", "&Nuovo",
                          "Nuovo|Permette l'inserimento di una nuova rivista", QStyle::SP_FileIcon);
    actModifica = makeAction(this, "actModifica", "&Modifica",
                             "Modifica|Permette di modificare la rivista visualizzata",
                             QStyle::SP_FileDialogDetailedView);
    actElimina =
        makeAction(this, "actElimina", "E&limina",
                   "Elimina|Permette di cancellare la rivista selezionata", QStyle::SP_TrashIcon);
    actElenco = makeAction(this, "actElenco", "&Elenco",
                           "Mostra Elenco|Mostra l'elenco delle riviste per effettuare la ricerca",
                           QStyle::SP_FileDialogListView);
    actConferma = makeAction(this, "actConferma", "&Conferma",
                             "Conferma|Conferma le modifiche apportate salvandole nel database",
                             QStyle::SP_DialogApplyButton);
    actAnnulla = makeAction(this, "actAnnulla", "&Annulla",
                            "Annulla|Annulla le modifiche fatte dopo l'ultimo aggiornamento "
                            "ripristinando la situazione precedente",
                            QStyle::SP_DialogCancelButton);
    actRicerca = makeAction(this, "actRicerca", "&Ricerca dall'inizio",
                            "Effettua la ricerca|Effettua la ricerca del primo record che "
                            "contiene il valore specificato",
                            QStyle::SP_FileDialogContentsView);
    actRicerca1 = makeAction(this, "actRicerca1", "&Continua la ricerca",
                             "Continua la ricerca|Effettua la ricerca del primo record che "
                             "contiene il valore specificato da questo punto in poi",
                             QStyle::SP_ArrowForward);

    connect(actEsci, &QAction::triggered, this, &QWidget::close);
    const auto handle = [this](QAction* action, void (TfrmAnagrafica::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { ui::runGuarded(this, [&] { (this->*handler)(); }); });
    };
    handle(actNuovo, &TfrmAnagrafica::actNuovoExecute);
    handle(actModifica, &TfrmAnagrafica::actModificaExecute);
    handle(actElimina, &TfrmAnagrafica::actEliminaExecute);
    handle(actAnnulla, &TfrmAnagrafica::actAnnullaExecute);
    handle(actElenco, &TfrmAnagrafica::actElencoExecute);
    handle(actRicerca, &TfrmAnagrafica::actRicercaExecute);
    handle(actRicerca1, &TfrmAnagrafica::actRicerca1Execute);
    connect(actConferma, &QAction::triggered, this,
            [this] { ui::runGuarded(this, [this] { actConfermaExecute(); }); });

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = MainMenu1->addMenu(QStringLiteral("&File"));
    file->addAction(actEsci);
    QMenu* magazines = MainMenu1->addMenu(QStringLiteral("&Riviste"));
    magazines->addActions({actNuovo, actModifica, actElimina});
    magazines->addSeparator();
    magazines->addAction(actElenco);

    DBNav = new ui::DbNavigator(*DataRiviste, this);
    DBNav->setObjectName(QStringLiteral("DBNav"));
    DBNav->setHints(
        {QStringLiteral("Vai alla prima|Visualizza prima rivista"),
         QStringLiteral("Vai alla precedente|Visualizza la rivista precedente a quella "
                        "visualizzata"),
         QStringLiteral("Vai allla successiva|Visualizza la rivista successiva a quella "
                        "visualizzata"),
         QStringLiteral("Vai all'ultima|Visualizza l'ultima rivista")});

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->addAction(actEsci);
    ToolBar1->addSeparator();
    ToolBar1->addActions({actNuovo, actModifica, actElimina, actElenco});
    ToolBar1->addSeparator();
    ToolBar1->addWidget(DBNav);

    Notebook1 = new QStackedWidget(this);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    buildSinglePage();
    buildListPage();
    connect(Notebook1, &QStackedWidget::currentChanged, this,
            [this] { ui::runGuarded(this, [this] { Notebook1PageChanged(); }); });

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(ToolBar1);
    layout->addWidget(Notebook1, 1);
    layout->addWidget(StatusBar1);

    connect(DataRiviste, &ui::DataSource::recordChanged, this, &TfrmAnagrafica::recordMoved);

    // The page "SINGOLO" sets the normal size: what its controls need, and
    // never less than the classic client area.
    const QSize single = SINGOLO->sizeHint();
    normalSize_ =
        QSize(qMax(kNormalClient.width(), single.width()),
              MainMenu1->sizeHint().height() + ToolBar1->sizeHint().height() +
                  qMax(kNormalClient.height(), single.height()) + StatusBar1->sizeHint().height());
    normalSize_.setWidth(qMax(normalSize_.width(), ToolBar1->sizeHint().width()));
    setFixedSize(normalSize_);

    FormCreate();
}

TfrmAnagrafica::~TfrmAnagrafica() {
    if (frmAnagrafica == this) frmAnagrafica = nullptr;
}

void TfrmAnagrafica::buildSinglePage() {
    SINGOLO = new QWidget(Notebook1);
    SINGOLO->setObjectName(QStringLiteral("SINGOLO"));
    const archive::TableSpec& riviste = archive::riviste3();
    const auto edit = [&](const char* name, const char* fieldName) {
        auto* e = new ui::DbEdit(
            *DataRiviste, ui::fieldSpec(riviste, QLatin1String(fieldName)), SINGOLO);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    EditCODE = edit("EditCODE", "BARCODE");
    EditNOME = edit("EditNOME", "NOME");
    EditPREZZO = edit("EditPREZZO", "PREZZO");
    EditACQUISTO = edit("EditACQUISTO", "ACQUISTO");
    EditFORN = edit("EditFORN", "FORNITORE");
    std::vector<std::pair<QString, QString>> periods;
    for (const archive::Periodicity& p : archive::periodicities())
        periods.emplace_back(p.registryName, p.code);
    EditPERIODO = new ui::DbComboBox(*DataRiviste, field("PERIODICIT"), periods, SINGOLO);
    EditPERIODO->setObjectName(QStringLiteral("EditPERIODO"));
    EditPREZZO->installEventFilter(this);
    EditACQUISTO->installEventFilter(this);

    // Room for every character a field holds, in the widest letters.
    const QFontMetrics metrics(EditNOME->font());
    const auto widthFor = [&](int chars) {
        return metrics.horizontalAdvance(QString(chars, QLatin1Char('W'))) / 2 + 16;
    };
    EditCODE->setMinimumWidth(metrics.horizontalAdvance(QString(13, QLatin1Char('8'))) + 16);
    EditNOME->setMinimumWidth(widthFor(30));
    EditFORN->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("WWW")) + 16);
    EditPREZZO->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("999999,99")) + 16);
    EditACQUISTO->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("999999,999999")) + 16);

    btnConferma = actionButton(actConferma, "btnConferma", SINGOLO);
    btnAnnulla = actionButton(actAnnulla, "btnAnnulla", SINGOLO);
    for (QPushButton* b : {btnConferma, btnAnnulla}) {
        b->setFocusPolicy(Qt::NoFocus);  // clicking them leaves the focus where it is
        b->setIconSize(QSize(24, 24));
        b->setMinimumHeight(48);
    }

    auto* grid = new QGridLayout;
    const std::pair<const char*, QWidget*> rows[] = {
        {"Barcode", EditCODE},          {"Descrizione", EditNOME}, {"Pr. copertina", EditPREZZO},
        {"Pr. acquisto", EditACQUISTO}, {"Fornitore", EditFORN},   {"Periodicità", EditPERIODO},
    };
    int r = 0;
    for (const auto& [caption, control] : rows) {
        auto* label = new QLabel(QString::fromUtf8(caption), SINGOLO);
        label->setBuddy(control);
        grid->addWidget(label, r, 0);
        grid->addWidget(control, r, 1, Qt::AlignLeft);
        ++r;
    }
    grid->setColumnStretch(1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnConferma);
    buttons->addWidget(btnAnnulla);
    buttons->addStretch();
    auto* page = new QHBoxLayout(SINGOLO);
    page->addLayout(grid, 1);
    page->addSpacing(12);
    page->addLayout(buttons);

    QWidget* order[] = {EditCODE, EditNOME, EditPREZZO, EditACQUISTO, EditFORN, EditPERIODO};
    for (int i = 0; i + 1 < 6; ++i) setTabOrder(order[i], order[i + 1]);
    Notebook1->addWidget(SINGOLO);
}

void TfrmAnagrafica::buildListPage() {
    LISTA = new QWidget(Notebook1);
    LISTA->setObjectName(QStringLiteral("LISTA"));
    const archive::TableSpec& riviste = archive::riviste3();
    std::vector<archive::FieldSpec> columns;
    for (const char* name : {"BARCODE", "NOME", "PREZZO", "FORNITORE", "ACQUISTO", "PERIODICIT"})
        columns.push_back(ui::fieldSpec(riviste, QLatin1String(name)));
    RivisteModel = new ui::CursorTableModel(Data1->Riviste, std::move(columns), this);

    RivisteGrid = new QTableView(LISTA);
    RivisteGrid->setObjectName(QStringLiteral("RivisteGrid"));
    RivisteGrid->setModel(RivisteModel);
    RivisteGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RivisteGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    RivisteGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    RivisteGrid->setTabKeyNavigation(false);  // Tab goes on to the search; arrows choose the column
    RivisteGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    RivisteGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    RivisteGrid->verticalHeader()->setDefaultSectionSize(RivisteGrid->fontMetrics().height() + 6);
    RivisteGrid->verticalHeader()->setFixedWidth(RivisteGrid->fontMetrics().height() + 4);
    // Each column as wide as what its field can hold, and never narrower than its title.
    const QFontMetrics metrics(RivisteGrid->font());
    const QString widest[] = {QString(13, QLatin1Char('8')), QString(24, QLatin1Char('M')),
                              QStringLiteral("99999,99"),    QStringLiteral("WWW"),
                              QStringLiteral("9999,999999"), QStringLiteral("W")};
    const QFontMetrics titles(RivisteGrid->horizontalHeader()->font());
    for (int c = 0; c < 6; ++c) {
        const QString title =
            RivisteModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        RivisteGrid->setColumnWidth(c, qMax(titles.horizontalAdvance(title) + 24,
                                            metrics.horizontalAdvance(widest[c]) + 16));
    }
    connect(RivisteGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) { gridRowChanged(now.row()); });
    connect(RivisteGrid->selectionModel(), &QItemSelectionModel::currentColumnChanged, this,
            [this](const QModelIndex& now) {
                // Choosing a column with the arrow keys chooses it as a click does,
                // so the search needs no mouse.
                if (!syncingGrid_) dbgProdottiCellClick(now);
            });
    connect(RivisteGrid, &QTableView::clicked, this, &TfrmAnagrafica::dbgProdottiCellClick);
    connect(RivisteGrid, &QTableView::doubleClicked, this,
            [this] { ui::runGuarded(this, [this] { dbgProdottiDblClick(); }); });

    lblCampoRicerca = new QLabel(LISTA);
    lblCampoRicerca->setObjectName(QStringLiteral("lblCampoRicerca"));
    lblCampoRicerca1 = new QLabel(LISTA);
    lblCampoRicerca1->setObjectName(QStringLiteral("lblCampoRicerca1"));
    lblCampoRicerca1->hide();
    ediRicerca = new QLineEdit(LISTA);
    ediRicerca->setObjectName(QStringLiteral("ediRicerca"));
    ediRicerca->setMinimumWidth(
        ediRicerca->fontMetrics().horizontalAdvance(QString(24, QLatin1Char('M'))));
    lblCampoRicerca->setBuddy(ediRicerca);
    btnRicerca = actionButton(actRicerca, "btnRicerca", LISTA);
    btnRicerca1 = actionButton(actRicerca1, "btnRicerca1", LISTA);
    // The menu bar's "&Riviste" owns Alt+R; the button keeps its caption.
    btnRicerca->setShortcut(QKeySequence());

    auto* panel = new QHBoxLayout;
    panel->addWidget(lblCampoRicerca);
    panel->addWidget(ediRicerca, 1);
    panel->addWidget(btnRicerca);
    panel->addWidget(btnRicerca1);
    auto* page = new QVBoxLayout(LISTA);
    page->addWidget(RivisteGrid, 1);
    page->addLayout(panel);
    setTabOrder(RivisteGrid, ediRicerca);
    setTabOrder(ediRicerca, btnRicerca);
    setTabOrder(btnRicerca, btnRicerca1);
    Notebook1->addWidget(LISTA);
}

void TfrmAnagrafica::FormCreate() {
    ediRicerca->clear();
    lblCampoRicerca->setText(ui::fieldSpec(archive::riviste3(), field("NOME")).label);
    lblCampoRicerca1->setText(field("NOME"));
    leaveEditing();
    Notebook1->setCurrentWidget(SINGOLO);
}

void TfrmAnagrafica::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    ui::runGuarded(this, [this] {
        // The order the main window chose is known only now.
        RivisteModel->reload();
        DataRiviste->notifyRecordChanged();
    });
    if (Notebook1->currentWidget() == SINGOLO) {
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        EditCODE->setFocus();
    }
}

bool TfrmAnagrafica::event(QEvent* event) {
    // The long part of the hint under the mouse goes to the status bar.
    if (event->type() == QEvent::StatusTip) {
        StatusBar1->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QDialog::event(event);
}

void TfrmAnagrafica::keyPressEvent(QKeyEvent* event) {
    // Only Esci and the close box end the window; Escape does nothing.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

bool TfrmAnagrafica::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyPress(watched, static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool TfrmAnagrafica::FormKeyPress(QObject* watched, QKeyEvent* event) {
    // Either "," or "." enters the regional decimal sign in the two prices.
    if (watched != EditPREZZO && watched != EditACQUISTO) return false;
    auto* box = static_cast<QLineEdit*>(watched);
    const QString text = platform::numberKeyText(event->text());
    if (box->isReadOnly() || text == event->text()) return false;
    box->insert(text);
    return true;
}

void TfrmAnagrafica::closeEvent(QCloseEvent* event) {
    // A pending record is never stored without passing Conferma's tests.
    if (editing_) {
        bool close = false;
        ui::runGuarded(this, [&] {
            if (platform::prompts().question(kConfirmOnClose)) {
                close = actConfermaExecute();
            } else {
                actAnnullaExecute();
                close = true;
            }
        });
        if (!close) {
            event->ignore();
            return;
        }
    }
    QDialog::closeEvent(event);
}

void TfrmAnagrafica::enterEditing() {
    editing_ = true;
    Notebook1->setCurrentWidget(SINGOLO);
    DBNav->setEnabled(false);
    for (QAction* a : {actEsci, actNuovo, actModifica, actElimina, actElenco}) a->setEnabled(false);
    actConferma->setVisible(true);
    actAnnulla->setVisible(true);
    DataRiviste->notifyRecordChanged();
}

void TfrmAnagrafica::leaveEditing() {
    editing_ = false;
    DBNav->setEnabled(true);
    for (QAction* a : {actEsci, actNuovo, actModifica, actElimina, actElenco}) a->setEnabled(true);
    actConferma->setVisible(false);
    actAnnulla->setVisible(false);
    DataRiviste->notifyRecordChanged();
}

void TfrmAnagrafica::actNuovoExecute() {
    Data1->Riviste.append();
    storedBarcode_.clear();
    enterEditing();
    EditCODE->setFocus();
}

void TfrmAnagrafica::actModificaExecute() {
    dbase::Cursor& riviste = Data1->Riviste;
    riviste.edit();  // on an empty register: a new record
    // edit() has read the record from disk under its lock: this is the
    // barcode the stock and journal records know the magazine by.
    storedBarcode_ = riviste.text(field("BARCODE"));
    enterEditing();
    if (riviste.state() == dbase::Cursor::State::Insert) {
        EditCODE->setFocus();
    } else {
        EditNOME->setFocus();
    }
}

void TfrmAnagrafica::actEliminaExecute() {
    // The data module warns, asks and removes stock and movements first; a
    // "No" there stops here with everything as it was.
    Data1->Riviste.deleteRecord();
    RivisteModel->reload();
    DataRiviste->notifyRecordChanged();
}

void TfrmAnagrafica::actAnnullaExecute() {
    Data1->Riviste.cancel();
    leaveEditing();
}

bool TfrmAnagrafica::actConfermaExecute() {
    dbase::Cursor& riviste = Data1->Riviste;
    sql::Query& query = Data1->Query1;
    struct CloseQuery {
        sql::Query& query;
        ~CloseQuery() { query.close(); }
    } closeQuery{query};

    const QString barcode = EditCODE->text();
    if (barcode.isEmpty()) {
        platform::prompts().warning(kBarcodeRequired);
        return false;
    }
    const bool inserting = riviste.state() == dbase::Cursor::State::Insert;
    if (inserting) {
        // A bound value: any character a barcode holds is simply looked for.
        // The field keeps no trailing blanks, so neither does the value.
        QString key = barcode;
        while (key.endsWith(QLatin1Char(' '))) key.chop(1);
        query.clear();
        query.add(archive::statements::kFindBarcode);
        query.bind(1, key);
        query.open();
        if (!query.isEmpty()) {
            platform::prompts().warning(kDuplicate);
            return false;
        }
    } else if (riviste.state() == dbase::Cursor::State::Edit && barcode != storedBarcode_) {
        platform::prompts().warning(kBarcodeFixed);
        return false;
    }
    if (DataRiviste->editing()) {
        DataRiviste->updateRecord();
        riviste.post();
    }
    leaveEditing();
    RivisteModel->reload();
    DataRiviste->notifyRecordChanged();
    return true;
}

void TfrmAnagrafica::actElencoExecute() {
    lblCampoRicerca->setText(ui::fieldSpec(archive::riviste3(), field("NOME")).label);
    lblCampoRicerca1->setText(field("NOME"));
    Notebook1->setCurrentWidget(LISTA);
    showCurrentRow();
    const int row = qMax(0, RivisteGrid->currentIndex().row());
    syncingGrid_ = true;
    RivisteGrid->setCurrentIndex(RivisteModel->index(row, 1));
    syncingGrid_ = false;
    RivisteGrid->setFocus();
}

void TfrmAnagrafica::dbgProdottiCellClick(const QModelIndex& index) {
    if (!index.isValid()) return;
    const archive::FieldSpec& f = RivisteModel->column(index.column());
    lblCampoRicerca->setText(f.label.isEmpty() ? f.name : f.label);
    lblCampoRicerca1->setText(f.name);
}

void TfrmAnagrafica::dbgProdottiDblClick() {
    Notebook1->setCurrentWidget(SINGOLO);
}

void TfrmAnagrafica::Notebook1PageChanged() {
    if (Notebook1->currentWidget() == SINGOLO) {
        if (isVisible() && (windowState() & Qt::WindowMaximized)) showNormal();
        setWindowState(windowState() & ~Qt::WindowMaximized);
        setFixedSize(normalSize_);
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (isVisible()) {
            // The whole screen also where no window manager maximises.
            if (const QScreen* screen = this->screen()) setGeometry(screen->availableGeometry());
            showMaximized();
        } else {
            setWindowState(windowState() | Qt::WindowMaximized);
        }
    }
}

void TfrmAnagrafica::actRicercaExecute() {
    search(true);
}

void TfrmAnagrafica::actRicerca1Execute() {
    search(false);
}

void TfrmAnagrafica::search(bool fromStart) {
    const registry::SearchFrom from =
        fromStart ? registry::SearchFrom::Start : registry::SearchFrom::AfterCurrent;
    const QString text = ediRicerca->text();
    const bool found = registry::findMagazine(Data1->Riviste, lblCampoRicerca1->text(), text, from);
    DataRiviste->notifyRecordChanged();
    if (!found) platform::prompts().warning(registry::notFoundText(text, from));
}

void TfrmAnagrafica::recordMoved() {
    ui::runGuarded(this, [this] { showCurrentRow(); });
}

void TfrmAnagrafica::showCurrentRow() {
    const int row = RivisteModel->rowOf(Data1->Riviste.recordNumber());
    RivisteModel->setMarkedRow(row);
    if (row < 0) return;
    const int column = qMax(0, RivisteGrid->currentIndex().column());
    syncingGrid_ = true;
    RivisteGrid->selectionModel()->setCurrentIndex(
        RivisteModel->index(row, column),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    RivisteGrid->scrollTo(RivisteModel->index(row, column));
    syncingGrid_ = false;
}

void TfrmAnagrafica::gridRowChanged(int row) {
    if (syncingGrid_ || row < 0 || editing_) return;
    ui::runGuarded(this, [&] {
        if (Data1->Riviste.moveToRecord(RivisteModel->recordAt(row))) {
            DataRiviste->notifyRecordChanged();
        } else {
            // Gone meanwhile (another workstation): read the list again.
            RivisteModel->reload();
            DataRiviste->notifyRecordChanged();
        }
    });
}
