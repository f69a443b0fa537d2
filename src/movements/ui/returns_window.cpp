#include "movements/ui/returns_window.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/barcode_reading.h"
#include "movements/returns.h"
#include "movements/ui/last_movement_panel.h"
#include "movements/ui/number_field.h"
#include "platform/dates.h"
#include "platform/number_format.h"
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

TfrmResi* frmResi = nullptr;

TfrmResi::TfrmResi(QWidget* parent) : QDialog(parent) {
    frmResi = this;
    setObjectName(QStringLiteral("frmResi"));
    setWindowTitle(QStringLiteral("Resi riviste"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Panel = new movements::LastMovementPanel(this);
    Resobarcode = new QLineEdit(this);
    Resobarcode->setObjectName(QStringLiteral("Resobarcode"));
    Label10 = new QLabel(this);
    Label10->setObjectName(QStringLiteral("Label10"));
    Label8 = new QLabel(movements::kWaitingForReading, this);
    Label8->setObjectName(QStringLiteral("Label8"));
    QFont bold = Label8->font();
    bold.setBold(true);
    Label8->setFont(bold);
    Resoquantita = new movements::NumberField(
        ui::fieldSpec(archive::giornale3(), archive::fields::QUANTITA), QStringLiteral("#"), this);
    Resoquantita->setObjectName(QStringLiteral("Resoquantita"));
    DateEdit1 = new QDateEdit(platform::today(), this);
    DateEdit1->setObjectName(QStringLiteral("DateEdit1"));
    DateEdit1->setCalendarPopup(true);
    DateEdit1->setDisplayFormat(platform::shortDateFormat());
    DateEdit1->setFocusPolicy(Qt::ClickFocus);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp),
                              QStringLiteral("&Registra Reso"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    BitBtn1->setIconSize(QSize(32, 32));
    BitBtn1->setMinimumHeight(56);

    auto* barcodeLabel = new QLabel(QStringLiteral("&Barcode"), this);
    barcodeLabel->setBuddy(Resobarcode);
    auto* quantityLabel = new QLabel(QStringLiteral("&Quantità"), this);
    quantityLabel->setBuddy(Resoquantita);
    auto* dateLabel = new QLabel(QStringLiteral("&Data"), this);
    dateLabel->setBuddy(DateEdit1);

    auto* grid = new QGridLayout;
    grid->addWidget(barcodeLabel, 0, 0);
    grid->addWidget(Resobarcode, 0, 1);
    grid->addWidget(Label10, 0, 2, 1, 2);
    grid->addWidget(Label8, 1, 1, 1, 3);
    grid->addWidget(quantityLabel, 2, 0);
    grid->addWidget(Resoquantita, 2, 1);
    grid->addWidget(dateLabel, 2, 2);
    grid->addWidget(DateEdit1, 2, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel);
    layout->addLayout(grid);
    layout->addWidget(BitBtn1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(Resobarcode, Resoquantita);
    setTabOrder(Resoquantita, BitBtn1);

    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded(this, &TfrmResi::BitBtn1Click));
    ui::onFieldExit(Resobarcode, [this] { ResobarcodeExit(); });
}

TfrmResi::~TfrmResi() {
    if (frmResi == this) frmResi = nullptr;
}

void TfrmResi::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Panel->showRecord(Data1->Giornale);
    Resobarcode->setFocus();
}

void TfrmResi::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) return;  // no cancel button
    QDialog::keyPressEvent(event);
}

void TfrmResi::ResobarcodeExit() {
    using movements::Reading;
    const QString code = Resobarcode->text();
    const Reading reading = movements::classifyReading(movements::CounterWindow::Returns, code);
    if (reading == Reading::Close) {
        reject();
        return;
    }
    if (reading == Reading::LookUp) {
        const dbase::Cursor& giacenza = Data1->Giacenza;
        if (Data1->Giacenza.findKey(code)) {
            // The whole stock is proposed; the focus stays where the operator sent it.
            const double stock = giacenza.number(archive::fields::GIACENZA);
            Label8->setText(giacenza.text(archive::fields::NOME));
            Label10->setText(QStringLiteral("giacenza attuale ") + platform::formatGeneral(stock));
            Resoquantita->setValue(stock);
            return;
        }
        platform::prompts().message(movements::kNotStocked);
    }
    Resobarcode->clear();
    Label8->setText(movements::kBadReading);
    Resobarcode->setFocus();
}

void TfrmResi::BitBtn1Click() {
    const QString code = Resobarcode->text();
    if (code.isEmpty()) return;
    double quantity = Resoquantita->value();
    if (quantity > 10000) {
        Resoquantita->setValue(0);
        Resoquantita->setFocus();
        return;
    }
    if (quantity == 0) quantity = 1;
    switch (movements::registerReturn(*Data1, code, DateEdit1->date(), quantity)) {
        case movements::ReturnOutcome::MagazineMissing:
            indexError(QStringLiteral("Errore Index Riviste"));
            return;
        case movements::ReturnOutcome::IssueMissing:
            Panel->showRecord(Data1->Giornale);
            indexError(QStringLiteral("Errore Index Giacenza"));
            return;
        case movements::ReturnOutcome::Registered:
            break;
    }
    Panel->showRecord(Data1->Giornale);
    Label8->setText(movements::kWaitingForReading);
    Resobarcode->clear();
    Resoquantita->setValue(0);
    Resobarcode->setFocus();
}

void TfrmResi::indexError(const QString& status) {
    platform::prompts().message(movements::kIndexError);
    Resobarcode->clear();
    Resoquantita->setValue(0);
    Label8->setText(status);
    Resobarcode->setFocus();
}
