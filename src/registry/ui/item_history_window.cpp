#include "registry/ui/item_history_window.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "archive/statements.h"
#include "platform/dates.h"
#include "platform/error.h"
#include "platform/number_format.h"
#include "ui/message_box.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

TfrmQuery* frmQuery = nullptr;

namespace {

QString displayFormat(const archive::TableSpec& table, const char* field) {
    for (const archive::FieldSpec& f : table.fields) {
        if (f.name == QLatin1String(field)) return f.displayFormat;
    }
    return {};
}

QString shown(double value, const QString& picture) {
    return picture.isEmpty() ? platform::formatGeneral(value)
                             : platform::formatNumber(value, picture);
}

QLabel* largeBold(const char* name, QWidget* parent, int points) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(points);
    label->setFont(font);
    return label;
}

}  // namespace

TfrmQuery::TfrmQuery(QWidget* parent, const QString& issueKey)
    : QDialog(parent), Query1(Data1->Database1) {
    frmQuery = this;
    setObjectName(QStringLiteral("frmQuery"));
    setWindowTitle(QStringLiteral("Interrogazione stato rivista"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    DBText1 = largeBold("DBText1", this, 16);
    DBText2 = largeBold("DBText2", this, 14);
    DBText2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DBText3 = largeBold("DBText3", this, 14);
    DBText4 = largeBold("DBText4", this, 14);
    DBText5 = largeBold("DBText5", this, 14);

    DBGrid1 = new QTableWidget(0, 5, this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setHorizontalHeaderLabels({QStringLiteral("Data movimento"),
                                        QStringLiteral("Quantità"), QStringLiteral("Prezzo €"),
                                        QStringLiteral("Acq. €"), QStringLiteral("Tipo mov.")});
    for (int c = 1; c <= 3; ++c)
        DBGrid1->horizontalHeaderItem(c)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DBGrid1->horizontalHeaderItem(4)->setTextAlignment(Qt::AlignCenter);
    const int charWidth = DBGrid1->fontMetrics().averageCharWidth() + 1;
    DBGrid1->setColumnWidth(0, 14 * charWidth);
    DBGrid1->setColumnWidth(1, 9 * charWidth);
    DBGrid1->setColumnWidth(2, 9 * charWidth);
    DBGrid1->setColumnWidth(3, 67);
    DBGrid1->setColumnWidth(4, 11 * charWidth);
    // No column may be narrower than its bold title, and the grid shows every
    // column whole: a scrolled grid would cut the dates off at the left.
    const QFontMetrics titles(DBGrid1->horizontalHeader()->font());
    int columns = 0;
    for (int c = 0; c < DBGrid1->columnCount(); ++c) {
        const int title =
            titles.horizontalAdvance(DBGrid1->horizontalHeaderItem(c)->text()) + 2 * charWidth;
        DBGrid1->setColumnWidth(c, qMax(DBGrid1->columnWidth(c), title));
        columns += DBGrid1->columnWidth(c);
    }
    DBGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->setShowGrid(true);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setFocusPolicy(Qt::NoFocus);
    DBGrid1->setMinimumSize(
        qMax(400, columns + DBGrid1->verticalScrollBar()->sizeHint().width() +
                      2 * DBGrid1->frameWidth()),
        200);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* figures = new QGridLayout;
    figures->setHorizontalSpacing(3 * charWidth);  // a right-aligned figure beside a left-aligned one
    const QString captions[] = {QStringLiteral("Giacenza"), QStringLiteral("Prezzo €"),
                                QStringLiteral("Acquisto €"), QStringLiteral("Ultimo carico")};
    QLabel* values[] = {DBText2, DBText3, DBText4, DBText5};
    for (int i = 0; i < 4; ++i) {
        figures->addWidget(new QLabel(captions[i], this), 0, i);
        figures->addWidget(values[i], 1, i);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DBText1);
    layout->addLayout(figures);
    layout->addWidget(new QLabel(QStringLiteral("Ultimi movimenti registrati"), this));
    layout->addWidget(DBGrid1, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    showStock();
    FormCreate(issueKey);
}

TfrmQuery::~TfrmQuery() {
    if (frmQuery == this) frmQuery = nullptr;
}

QString TfrmQuery::Query1CalcFields(const QString& tipo) {
    return archive::movementName(tipo);
}

void TfrmQuery::showStock() {
    const dbase::Cursor& stock = Data1->Giacenza;
    const archive::TableSpec& table = archive::giacenza3();
    DBText1->setText(stock.text(archive::fields::NOME));
    DBText2->setText(
        shown(stock.number(archive::fields::GIACENZA), displayFormat(table, "GIACENZA")));
    DBText3->setText(shown(stock.number(archive::fields::PREZZO), displayFormat(table, "PREZZO")));
    DBText4->setText(
        shown(stock.number(archive::fields::ACQUISTO), displayFormat(table, "ACQUISTO")));
    DBText5->setText(platform::formatDate(stock.date(archive::fields::UCARICO)));
}

void TfrmQuery::FormCreate(const QString& issueKey) {
    // The key is a bound value: whatever a code holds, it cannot change the statement.
    try {
        Query1.close();
        Query1.clear();
        Query1.add(archive::statements::kIssueHistory);
        Query1.bind(1, issueKey);
        Query1.open();
        Query1.last();
    } catch (const platform::Error& e) {
        // The window still opens, with its stock figures over an empty grid.
        Query1.close();
        ui::errorBox(parentWidget(), e.message());
    }
    showMovements();
}

void TfrmQuery::showMovements() {
    DBGrid1->setRowCount(0);
    if (!Query1.isOpen() || Query1.isEmpty()) return;
    const archive::TableSpec& journal = archive::giornale3();
    const QString price = displayFormat(journal, "PREZZO");
    const QString cost = displayFormat(journal, "ACQUISTO");
    const int data = Query1.fieldIndex(archive::fields::DATA);
    const int quantita = Query1.fieldIndex(archive::fields::QUANTITA);
    const int prezzo = Query1.fieldIndex(archive::fields::PREZZO);
    const int acquisto = Query1.fieldIndex(archive::fields::ACQUISTO);
    const int tipo = Query1.fieldIndex(archive::fields::TIPO);

    const int current = Query1.recNo();
    DBGrid1->setRowCount(Query1.recordCount());
    for (int row = 0; row < Query1.recordCount(); ++row) {
        Query1.moveTo(row);
        const auto cell = [&](int column, const QString& text, Qt::Alignment align) {
            auto* item = new QTableWidgetItem(text);
            item->setTextAlignment(align | Qt::AlignVCenter);
            DBGrid1->setItem(row, column, item);
        };
        cell(0, platform::formatDate(Query1.date(data)), Qt::AlignHCenter);
        cell(1, platform::formatGeneral(Query1.number(quantita)), Qt::AlignRight);
        cell(2, shown(Query1.number(prezzo), price), Qt::AlignRight);
        cell(3, shown(Query1.number(acquisto), cost), Qt::AlignRight);
        cell(4, Query1CalcFields(Query1.text(tipo)), Qt::AlignHCenter);
    }
    Query1.moveTo(current);
    DBGrid1->selectRow(current);
    DBGrid1->scrollToItem(DBGrid1->item(current, 0));
}
