#include "movements/ui/new_magazine_window.h"

#include "platform/ui/enter_as_tab.h"

#include "archive/dbase/cursor.h"
#include "archive/schema.h"
#include "movements/ui/number_field.h"
#include "ui/field_text.h"
#include "ui/slot_guard.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

Tfrmaddone* frmaddone = nullptr;

Tfrmaddone::Tfrmaddone(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmaddone"));
    setWindowTitle(QStringLiteral("Inserimento di una nuova rivista"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    EditCODE = new QLineEdit(this);
    EditCODE->setObjectName(QStringLiteral("EditCODE"));
    EditCODE->setReadOnly(true);
    EditCODE->setFocusPolicy(Qt::NoFocus);
    EditNOME = new QLineEdit(this);
    EditNOME->setObjectName(QStringLiteral("EditNOME"));
    EditNOME->setMaxLength(30);
    const archive::FieldSpec& prezzo = ui::fieldSpec(archive::riviste3(), archive::fields::PREZZO);
    EditPREZZO = new movements::NumberField(prezzo, prezzo.editFormat, this);
    EditPREZZO->setObjectName(QStringLiteral("EditPREZZO"));
    const archive::FieldSpec& acquisto =
        ui::fieldSpec(archive::riviste3(), archive::fields::ACQUISTO);
    EditACQUISTO = new movements::NumberField(acquisto, acquisto.editFormat, this);
    EditACQUISTO->setObjectName(QStringLiteral("EditACQUISTO"));
    EditFORN = new QLineEdit(this);
    EditFORN->setObjectName(QStringLiteral("EditFORN"));
    EditFORN->setMaxLength(3);
    EditPERIODO = new QComboBox(this);
    EditPERIODO->setObjectName(QStringLiteral("EditPERIODO"));
    EditPERIODO->setEditable(false);
    for (const archive::Periodicity& p : archive::periodicities()) {
        if (!p.newMagazineName.isEmpty()) EditPERIODO->addItem(p.newMagazineName, p.code);
    }

    BitBtn2 = new QPushButton(QStringLiteral("&No"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    // Enter stores the magazine and the stock-in puts the focus in its
    // quantity field: a Tab after it would move the operator off that field.
    setProperty(platform::kNoTabAfterEnter, true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Barcode"), EditCODE);
    form->addRow(QStringLiteral("Descrizione"), EditNOME);
    form->addRow(QStringLiteral("Prezzo"), EditPREZZO);
    form->addRow(QStringLiteral("Pr. acquisto"), EditACQUISTO);
    form->addRow(QStringLiteral("Fornitore"), EditFORN);
    form->addRow(QStringLiteral("Periodicità"), EditPERIODO);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(EditNOME, EditPREZZO);
    setTabOrder(EditPREZZO, EditACQUISTO);
    setTabOrder(EditACQUISTO, EditFORN);
    setTabOrder(EditFORN, EditPERIODO);
    setTabOrder(EditPERIODO, BitBtn2);
    setTabOrder(BitBtn2, BitBtn1);

    // Escape and the close box end as "&No" does: QDialog rejects.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded(this, &Tfrmaddone::BitBtn1Click));
}

Tfrmaddone::~Tfrmaddone() {
    if (frmaddone == this) frmaddone = nullptr;
}

bool Tfrmaddone::execFor(dbase::Cursor& riviste) {
    record_ = &riviste;
    // The fields show the pending record: its barcode, the rest blank.
    EditCODE->setText(riviste.text(archive::fields::BARCODE));
    EditNOME->setText(riviste.text(archive::fields::NOME));
    const auto number = [&riviste](const char* field, movements::NumberField* edit) {
        const QString name = QLatin1String(field);
        if (riviste.isBlank(name))
            edit->clear();
        else
            edit->setValue(riviste.number(name));
    };
    number("PREZZO", EditPREZZO);
    number("ACQUISTO", EditACQUISTO);
    EditFORN->setText(riviste.text(archive::fields::FORNITORE));
    EditPERIODO->setCurrentIndex(EditPERIODO->findData(riviste.text(archive::fields::PERIODICIT)));
    const bool ok = exec() == QDialog::Accepted;
    record_ = nullptr;
    return ok;
}

void Tfrmaddone::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    EditNOME->setFocus();
}

void Tfrmaddone::BitBtn1Click() {
    // A value the table cannot hold raises its error here, and the window
    // stays open for the operator to correct it.
    dbase::Cursor& r = *record_;
    r.setText(archive::fields::NOME, EditNOME->text());
    if (EditPREZZO->text().isEmpty())
        r.clear(archive::fields::PREZZO);
    else
        r.setNumber(archive::fields::PREZZO, EditPREZZO->value());
    if (EditACQUISTO->text().isEmpty())
        r.clear(archive::fields::ACQUISTO);
    else
        r.setNumber(archive::fields::ACQUISTO, EditACQUISTO->value());
    r.setText(archive::fields::FORNITORE, EditFORN->text());
    if (EditPERIODO->currentIndex() >= 0)
        r.setText(archive::fields::PERIODICIT, EditPERIODO->currentData().toString());
    accept();
}

Tfrmaddone* createFrmaddone(QWidget* owner) {
    if (!frmaddone) frmaddone = new Tfrmaddone(owner);
    return frmaddone;
}
