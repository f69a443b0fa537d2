#include "movements/sale.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/pending_changes.h"
#include "platform/dates.h"

namespace movements {

QString saleLineName(const QString& name, double stock) {
    QString line = name;
    if (stock <= 0) line += QStringLiteral(" GIAC<0");
    return line.left(30);
}

SaleLine saleLineFor(const dbase::Cursor& giacenza) {
    return SaleLine{
        saleLineName(giacenza.text(QStringLiteral("NOME")),
                     giacenza.number(QStringLiteral("GIACENZA"))),
        giacenza.number(QStringLiteral("PREZZO")),
        giacenza.text(QStringLiteral("BARCODE2")),
        giacenza.number(QStringLiteral("ACQUISTO")),
    };
}

void SaleList::add(const SaleLine& line) {
    lines_.push_back(line);
    total_ += line.prezzo;
}

void SaleList::clear() {
    lines_.clear();
    total_ = 0;
}

std::vector<SaleLine> SaleList::registerAll(TData1& data) {
    std::vector<SaleLine> leftOut;
    while (!lines_.empty()) {
        const SaleLine& line = lines_.front();
        dbase::Cursor& giacenza = data.Giacenza;
        dbase::Cursor& giornale = data.Giornale;
        if (!giacenza.findKey(line.barcode)) {
            leftOut.push_back(line);
            lines_.erase(lines_.begin());
            continue;
        }
        {
            DropPendingOnFailure guard{&giacenza, &giornale};
            // The new stock is set before anything is posted: a value the
            // table cannot hold then stops the line before its journal record
            // exists. The posts themselves keep the order journal, stock.
            const double stock = giacenza.number(QStringLiteral("GIACENZA"));
            giacenza.edit();
            giacenza.setNumber(QStringLiteral("GIACENZA"), stock - 1);

            giornale.append();
            giornale.setText(QStringLiteral("BARCODE2"), line.barcode);
            giornale.setDate(QStringLiteral("DATA"), platform::today());
            giornale.setNumber(QStringLiteral("QUANTITA"), -1);
            giornale.setNumber(QStringLiteral("PREZZO"), line.prezzo);
            giornale.setNumber(QStringLiteral("ACQUISTO"), line.acquisto);
            giornale.setText(QStringLiteral("TIPO"), archive::kScarico);
            giornale.post();
            giacenza.post();
        }
        lines_.erase(lines_.begin());
    }
    total_ = 0;
    return leftOut;
}

}  // namespace movements
