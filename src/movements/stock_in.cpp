#include "movements/stock_in.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/movement_post.h"
#include "movements/pending_changes.h"

namespace movements {

StockInOutcome registerStockIn(TData1& data, const StockInEntry& entry) {
    dbase::Cursor& riviste = data.Riviste;
    DropPendingOnFailure guard{&data.Riviste, &data.Giornale, &data.Giacenza};
    if (riviste.indexName().compare(archive::fields::BARCODE, Qt::CaseInsensitive) != 0)
        riviste.setIndex(archive::fields::BARCODE);
    if (!riviste.findKey(archive::magazineBarcode(entry.code)))
        return StockInOutcome::MagazineMissing;

    // The magazine keeps the prices and periodicity of its latest delivery.
    if (riviste.number(archive::fields::PREZZO) != entry.price ||
        riviste.number(archive::fields::ACQUISTO) != entry.cost ||
        riviste.text(archive::fields::PERIODICIT) != entry.periodicity) {
        riviste.edit();
        riviste.setNumber(archive::fields::PREZZO, entry.price);
        riviste.setNumber(archive::fields::ACQUISTO, entry.cost);
        riviste.setText(archive::fields::PERIODICIT, entry.periodicity.left(1));
        riviste.post();
    }

    // An empty periodicity field gives a blank letter: the two-month default.
    const QString letter = (entry.periodicity + QLatin1Char(' ')).left(1);
    const QDate returnBy = archive::fn_scadenza(letter, entry.date);

    // The stock record first: edit() locks it and reads it as it is on disk,
    // so the delivery is added to the stock as it is now.
    dbase::Cursor& giacenza = data.Giacenza;
    if (giacenza.findKey(entry.code)) {
        giacenza.edit();
        giacenza.setNumber(archive::fields::GIACENZA,
                           giacenza.number(archive::fields::GIACENZA) + entry.quantity);
    } else {
        giacenza.append();
        giacenza.setText(archive::fields::BARCODE2, entry.code);
        giacenza.setNumber(archive::fields::GIACENZA, entry.quantity);
    }
    giacenza.setDate(archive::fields::UCARICO, entry.date);
    giacenza.setDate(archive::fields::SCADENZA, returnBy);
    giacenza.setNumber(archive::fields::PREZZO, entry.price);
    giacenza.setNumber(archive::fields::ACQUISTO, entry.cost);

    dbase::Cursor& giornale = data.Giornale;
    giornale.append();
    giornale.setText(archive::fields::BARCODE2, entry.code);
    giornale.setDate(archive::fields::DATA, entry.date);
    giornale.setNumber(archive::fields::QUANTITA, entry.quantity);
    giornale.setNumber(archive::fields::PREZZO, entry.price);
    giornale.setNumber(archive::fields::ACQUISTO, entry.cost);
    giornale.setText(archive::fields::TIPO, archive::kCarico);
    Stored stored;
    postMovement(giornale, giacenza, stored);
    return StockInOutcome::Registered;
}

}  // namespace movements
