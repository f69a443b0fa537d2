#include "movements/ui/stock_in_window.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/barcode_reading.h"
#include "movements/pending_changes.h"
#include "movements/stock_in.h"
#include "movements/ui/last_movement_panel.h"
#include "movements/ui/new_magazine_window.h"
#include "movements/ui/number_field.h"
#include "platform/dates.h"
#include "platform/prompts.h"
#include "ui/field_exit.h"
#include "ui/field_text.h"
#include "ui/slot_guard.h"

#include <QApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TfrmCarico* frmCarico = nullptr;

namespace {

QLabel* buddyLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

TfrmCarico::TfrmCarico(QWidget* parent) : QDialog(parent) {
    frmCarico = this;
    setObjectName(QStringLiteral("frmCarico"));
    setWindowTitle(QStringLiteral("Carico riviste"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Panel = new movements::LastMovementPanel(this);
    Caricobarcode = new QLineEdit(this);
    Caricobarcode->setObjectName(QStringLiteral("Caricobarcode"));
    Label8 = new QLabel(movements::kWaitingForReading, this);
    Label8->setObjectName(QStringLiteral("Label8"));
    QFont bold = Label8->font();
    bold.setBold(true);
    Label8->setFont(bold);
    const archive::TableSpec& giornale = archive::giornale3();
    CaricoPrezzo = new movements::NumberField(ui::fieldSpec(giornale, archive::fields::PREZZO),
                                              QStringLiteral("0.00;;#.##"), this);
    CaricoPrezzo->setObjectName(QStringLiteral("CaricoPrezzo"));
    CaricoAcquisto = new movements::NumberField(ui::fieldSpec(giornale, archive::fields::ACQUISTO),
                                                QStringLiteral("0.000000;;#.######"), this);
    CaricoAcquisto->setObjectName(QStringLiteral("CaricoAcquisto"));
    CaricoPeriodicita = new QLineEdit(this);
    CaricoPeriodicita->setObjectName(QStringLiteral("CaricoPeriodicita"));
    Caricoquantita = new movements::NumberField(ui::fieldSpec(giornale, archive::fields::QUANTITA),
                                                QStringLiteral("#"), this);
    Caricoquantita->setObjectName(QStringLiteral("Caricoquantita"));
    DateEdit1 = new QDateEdit(platform::today(), this);
    DateEdit1->setObjectName(QStringLiteral("DateEdit1"));
    DateEdit1->setCalendarPopup(true);
    DateEdit1->setDisplayFormat(platform::shortDateFormat());
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown),
                              QStringLiteral("Registra &Carico"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    BitBtn1->setIconSize(QSize(32, 32));
    BitBtn1->setMinimumHeight(56);

    // Only barcode, quantity and button are tab stops.
    for (QWidget* w : std::initializer_list<QWidget*>{CaricoPrezzo, CaricoAcquisto,
                                                      CaricoPeriodicita, DateEdit1})
        w->setFocusPolicy(Qt::ClickFocus);

    auto* grid = new QGridLayout;
    grid->addWidget(buddyLabel(QStringLiteral("&Barcode"), Caricobarcode, this), 0, 0);
    grid->addWidget(Caricobarcode, 0, 1, 1, 3);
    grid->addWidget(Label8, 1, 1, 1, 3);
    grid->addWidget(buddyLabel(QStringLiteral("&Pr. copertina"), CaricoPrezzo, this), 2, 0);
    grid->addWidget(CaricoPrezzo, 2, 1);
    grid->addWidget(buddyLabel(QStringLiteral("Pr. &Acquisto"), CaricoAcquisto, this), 2, 2);
    grid->addWidget(CaricoAcquisto, 2, 3);
    grid->addWidget(buddyLabel(QStringLiteral("&Tipo rivista"), CaricoPeriodicita, this), 3, 0);
    grid->addWidget(CaricoPeriodicita, 3, 1);
    grid->addWidget(buddyLabel(QStringLiteral("&Quantità"), Caricoquantita, this), 4, 0);
    grid->addWidget(Caricoquantita, 4, 1);
    grid->addWidget(buddyLabel(QStringLiteral("&Data"), DateEdit1, this), 4, 2);
    grid->addWidget(DateEdit1, 4, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel);
    layout->addLayout(grid);
    layout->addWidget(BitBtn1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(Caricobarcode, Caricoquantita);
    setTabOrder(Caricoquantita, BitBtn1);

    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded(this, &TfrmCarico::BitBtn1Click));
    ui::onFieldExit(Caricobarcode, [this] { CaricobarcodeExit(); });
    connect(qApp, &QApplication::focusChanged, this,
            ui::guarded(this, [this](QWidget*, QWidget* now) {
                if (now == BitBtn1) BitBtn1Enter();
            }));
}

TfrmCarico::~TfrmCarico() {
    if (frmCarico == this) frmCarico = nullptr;
}

void TfrmCarico::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Panel->showRecord(Data1->Giornale);
    Caricobarcode->setFocus();
}

void TfrmCarico::keyPressEvent(QKeyEvent* event) {
    // No cancel button: Escape must not close the window in the middle of a delivery.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

void TfrmCarico::badReading() {
    Caricobarcode->clear();
    Label8->setText(movements::kBadReading);
    Caricobarcode->setFocus();
}

void TfrmCarico::CaricobarcodeExit() {
    using movements::Reading;
    const QString code = Caricobarcode->text();
    Reading reading = movements::classifyReading(movements::CounterWindow::StockIn, code);
    if (reading == Reading::Close) {
        reject();
        return;
    }
    if (reading == Reading::Confirm) {
        reading = platform::prompts().question(movements::confirmThirteenText()) ? Reading::LookUp
                                                                                 : Reading::Bad;
    }
    if (reading != Reading::LookUp) {
        badReading();
        return;
    }

    TData1& data = *Data1;
    const QString barcode = archive::magazineBarcode(code);
    if (data.Giacenza.findKey(code)) {
        // Prices as the issue's last delivery had them; periodicity from its magazine.
        Label8->setText(data.Giacenza.text(archive::fields::NOME));
        CaricoPrezzo->setValue(data.Giacenza.number(archive::fields::PREZZO));
        CaricoAcquisto->setValue(data.Giacenza.number(archive::fields::ACQUISTO));
        CaricoPeriodicita->setText(data.Apporiviste2.findKey(barcode)
                                       ? data.Apporiviste2.text(archive::fields::PERIODICIT)
                                       : QString());
        Caricoquantita->setFocus();
    } else if (data.Apporiviste2.findKey(barcode)) {
        fillFromMagazine(barcode);
    } else {
        newMagazine(barcode);
    }
}

void TfrmCarico::fillFromMagazine(const QString& barcode) {
    dbase::Cursor& magazine = Data1->Apporiviste2;
    if (!magazine.findKey(barcode)) return;
    Label8->setText(magazine.text(archive::fields::NOME));
    CaricoPrezzo->setValue(magazine.number(archive::fields::PREZZO));
    CaricoAcquisto->setValue(magazine.number(archive::fields::ACQUISTO));
    CaricoPeriodicita->setText(magazine.text(archive::fields::PERIODICIT));
    Caricoquantita->setFocus();
}

void TfrmCarico::newMagazine(const QString& barcode) {
    TData1& data = *Data1;
    data.Riviste.insert();
    bool ok = false;
    {
        // Whatever ends the window without "OK", or fails, leaves no record
        // pending: the next move of the cursor would post it.
        movements::DropPendingOnFailure guard{&data.Riviste};
        data.Riviste.setText(archive::fields::BARCODE, barcode);
        if (frmaddone) {
            ok = frmaddone->execFor(data.Riviste);
        } else {
            Tfrmaddone window(this);
            ok = window.execFor(data.Riviste);
        }
        if (ok) data.Riviste.post();
    }
    if (!ok) {
        data.Riviste.cancel();
        Caricobarcode->clear();
        Caricoquantita->setValue(0);
        Label8->setText(movements::kWaitingForReading);
        Caricobarcode->setFocus();
        return;
    }
    data.Apporiviste.refresh();
    data.Apporiviste2.refresh();
    fillFromMagazine(barcode);
}

void TfrmCarico::BitBtn1Enter() {
    if (Caricoquantita->value() == 0) Caricoquantita->setFocus();
}

void TfrmCarico::BitBtn1Click() {
    const QString code = Caricobarcode->text();
    if (code.isEmpty()) return;
    double quantity = Caricoquantita->value();
    if (quantity > 10000) {
        Caricoquantita->setValue(0);
        Caricoquantita->setFocus();
        return;
    }
    if (!archive::isIssueKeyLength(code.size())) {
        platform::prompts().message(QStringLiteral("Errore su codice barcode"));
        resetWindow();
        return;
    }
    if (quantity == 0) quantity = 1;

    movements::StockInEntry entry;
    entry.code = code;
    entry.date = DateEdit1->date();
    entry.quantity = quantity;
    entry.price = CaricoPrezzo->value();
    entry.cost = CaricoAcquisto->value();
    entry.periodicity = CaricoPeriodicita->text();
    if (movements::registerStockIn(*Data1, entry) == movements::StockInOutcome::MagazineMissing) {
        platform::prompts().message(movements::kIndexError);
        resetWindow();
        return;
    }
    Panel->showRecord(Data1->Giornale);
    resetWindow();
}

void TfrmCarico::resetWindow() {
    Caricobarcode->clear();
    Caricoquantita->setValue(0);
    CaricoPrezzo->setValue(0);
    CaricoAcquisto->setValue(0);
    CaricoPeriodicita->clear();
    Label8->setText(movements::kWaitingForReading);
    Caricobarcode->setFocus();
}
