#include "movements/ui/sale_window.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/barcode_reading.h"
#include "platform/number_format.h"
#include "platform/prompts.h"
#include "ui/field_exit.h"
#include "ui/slot_guard.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

TfrmScarico* frmScarico = nullptr;

TfrmScarico::TfrmScarico(QWidget* parent) : QDialog(parent) {
    frmScarico = this;
    setObjectName(QStringLiteral("frmScarico"));
    setWindowTitle(QStringLiteral("Scarico riviste"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    Scaricobarcode = new QLineEdit(this);
    Scaricobarcode->setObjectName(QStringLiteral("Scaricobarcode"));
    Label8 = new QLabel(movements::kWaitingForReading, this);
    Label8->setObjectName(QStringLiteral("Label8"));
    QFont bold = Label8->font();
    bold.setBold(true);
    Label8->setFont(bold);
    Label3 = new QLabel(QStringLiteral("Totale"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAlignment(Qt::AlignCenter);
    Totale = new QLabel(this);
    Totale->setObjectName(QStringLiteral("Totale"));
    QFont big = Totale->font();
    big.setBold(true);
    big.setPointSize(28);
    Totale->setFont(big);
    Totale->setAlignment(Qt::AlignCenter);
    Totale->setMinimumHeight(QFontMetrics(big).height());
    // Room for a large total from the start, so the list beside it keeps its
    // width when the first line is scanned.
    Totale->setMinimumWidth(QFontMetrics(big).horizontalAdvance(QStringLiteral("8.888,88 €")));

    DBGrid1 = new QTableWidget(0, 2, this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setHorizontalHeaderLabels({QStringLiteral("Rivista"), QStringLiteral("Euro")});
    QFont header = DBGrid1->horizontalHeader()->font();
    header.setBold(true);
    DBGrid1->horizontalHeader()->setFont(header);
    DBGrid1->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setFocusPolicy(Qt::NoFocus);
    const int charWidth = DBGrid1->fontMetrics().averageCharWidth();
    DBGrid1->setColumnWidth(0, 27 * charWidth);
    DBGrid1->setColumnWidth(1, 7 * charWidth + 8);
    DBGrid1->setMinimumWidth(36 * charWidth + 16);

    BitBtn1 = new QPushButton(QStringLiteral("&Annulla"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    BitBtn2 = new QPushButton(QStringLiteral("&Scarica"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setDefault(true);
    for (QPushButton* b : {BitBtn1, BitBtn2}) b->setMinimumHeight(48);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Barcode"), this));
    top->addWidget(Scaricobarcode);
    top->addWidget(Label8, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(Label3);
    right->addWidget(Totale);
    right->addStretch();
    right->addWidget(BitBtn1);
    right->addWidget(BitBtn2);
    auto* middle = new QHBoxLayout;
    middle->addWidget(DBGrid1, 1);
    middle->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);

    setTabOrder(Scaricobarcode, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded(this, &TfrmScarico::BitBtn1Click));
    connect(BitBtn2, &QPushButton::clicked, this, ui::guarded(this, &TfrmScarico::BitBtn2Click));
    ui::onFieldExit(Scaricobarcode, [this] { ScaricobarcodeExit(); });
}

TfrmScarico::~TfrmScarico() {
    if (frmScarico == this) frmScarico = nullptr;
}

void TfrmScarico::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    appoData_.clear();
    showList();
    showTotal();
    Scaricobarcode->setFocus();
}

void TfrmScarico::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) return;  // no cancel button
    QDialog::keyPressEvent(event);
}

void TfrmScarico::ScaricobarcodeExit() {
    using movements::Reading;
    const QString code = Scaricobarcode->text();
    switch (movements::classifyReading(movements::CounterWindow::Sales, code)) {
        case Reading::Ignore:
            return;
        case Reading::Close:
            reject();
            return;
        case Reading::ClearList:
            BitBtn1Click();
            return;
        case Reading::RegisterSale:
            BitBtn2Click();
            return;
        case Reading::LookUp:
            if (Data1->Giacenza.findKey(code)) {
                addLine();
                return;
            }
            platform::prompts().message(movements::kNotStocked);
            break;
        case Reading::Confirm:
        case Reading::Bad:
            break;
    }
    Scaricobarcode->clear();
    Label8->setText(movements::kBadReading);
    Scaricobarcode->setFocus();
}

void TfrmScarico::addLine() {
    const dbase::Cursor& giacenza = Data1->Giacenza;
    Label8->setText(giacenza.text(archive::fields::NOME));
    appoData_.add(movements::saleLineFor(giacenza));
    const int row = appendRow(appoData_.lines().back());
    DBGrid1->selectRow(row);
    DBGrid1->scrollToItem(DBGrid1->item(row, 1));
    showTotal();
    Scaricobarcode->clear();
    Scaricobarcode->setFocus();
}

void TfrmScarico::showList() {
    DBGrid1->setRowCount(0);
    for (const movements::SaleLine& line : appoData_.lines()) appendRow(line);
}

int TfrmScarico::appendRow(const movements::SaleLine& line) {
    const int row = DBGrid1->rowCount();
    DBGrid1->insertRow(row);
    DBGrid1->setItem(row, 0, new QTableWidgetItem(line.nome));
    auto* price = new QTableWidgetItem(platform::formatGeneral(line.prezzo));
    price->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DBGrid1->setItem(row, 1, price);
    return row;
}

void TfrmScarico::showTotal() {
    // Empty, not "0,00 €", while nothing is owed.
    const double total = appoData_.total();
    Totale->setText(total == 0 ? QString() : platform::formatNumber(total, u"#,##0.00 €"));
}

void TfrmScarico::backToBarcode() {
    Label8->setText(movements::kWaitingForReading);
    showList();
    showTotal();
    Scaricobarcode->clear();
    Scaricobarcode->setFocus();
}

void TfrmScarico::BitBtn1Click() {
    appoData_.clear();
    backToBarcode();
}

void TfrmScarico::BitBtn2Click() {
    movements::SaleOutcome outcome;
    try {
        outcome = appoData_.registerAll(*Data1);
    } catch (...) {
        // The list now holds only what is not registered; show it so.
        showList();
        throw;
    }
    backToBarcode();
    // Enter pressed this button from the barcode field and its Tab, which
    // comes after, would carry the focus on to "&Annulla": bring it back.
    QTimer::singleShot(0, Scaricobarcode, [this] {
        if (isVisible() && isActiveWindow()) Scaricobarcode->setFocus();
    });
    const QString warning = movements::skippedLinesWarning(outcome);
    if (!warning.isEmpty()) platform::prompts().warning(warning);
}
