#include "movements/ui/last_movement_panel.h"

#include "archive/dbase/cursor.h"
#include "archive/schema.h"
#include "platform/dates.h"
#include "platform/number_format.h"

#include <QGridLayout>
#include <QLabel>

namespace movements {
namespace {

QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setMinimumWidth(60);
    return label;
}

QString priceFormat() {
    for (const archive::FieldSpec& f : archive::giornale3().fields) {
        if (f.name == archive::fields::PREZZO) return f.displayFormat;
    }
    return {};
}

}  // namespace

LastMovementPanel::LastMovementPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LastMovementPanel"));
    DBText1 = valueLabel("DBText1", this);
    DBText2 = valueLabel("DBText2", this);
    DBText6 = valueLabel("DBText6", this);
    DBText3 = valueLabel("DBText3", this);
    DBText4 = valueLabel("DBText4", this);
    DBText5 = valueLabel("DBText5", this);
    DBText2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DBText5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    const struct {
        const char* caption;
        QLabel* value;
        int row, column;
    } cells[] = {
        {"Ultimo movimento", DBText1, 0, 0},   {"Pezzi", DBText2, 0, 1},  {"mov.", DBText6, 0, 2},
        {"Giornale / Rivista", DBText3, 2, 0}, {"numero", DBText4, 2, 1}, {"prezzo", DBText5, 2, 2},
    };
    for (const auto& c : cells) {
        grid->addWidget(new QLabel(QString::fromUtf8(c.caption), this), c.row, c.column);
        grid->addWidget(c.value, c.row + 1, c.column);
    }
    grid->setColumnStretch(0, 1);
}

void LastMovementPanel::showRecord(const dbase::Cursor& giornale) {
    if (!giornale.isOpen() || giornale.isEmpty()) {
        for (QLabel* l : {DBText1, DBText2, DBText6, DBText3, DBText4, DBText5}) l->clear();
        return;
    }
    DBText1->setText(platform::formatDate(giornale.date(archive::fields::DATA)));
    DBText2->setText(platform::formatGeneral(giornale.number(archive::fields::QUANTITA)));
    DBText6->setText(giornale.text(archive::fields::TIPO));
    DBText3->setText(giornale.text(archive::fields::NOME));
    DBText4->setText(giornale.text(archive::fields::NUMERO));
    DBText5->setText(
        platform::formatNumber(giornale.number(archive::fields::PREZZO), priceFormat()));
}

}  // namespace movements
