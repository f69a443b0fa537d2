#include "movements/stock_in.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/movement_post.h"
#include "movements/pending_changes.h"

namespace movements {

StockInOutcome registerStockIn(TData1& data, const StockInEntry& entry) {
    dbase::Cursor& riviste = data.Riviste;
    DropPendingOnFailure guard{&data.Riviste, &data.Giornale, &data.Giacenza};
    if (riviste.indexName().compare(QLatin1String("BARCODE"), Qt::CaseInsensitive) != 0)
        riviste.setIndex(QStringLiteral("BARCODE"));
    if (!riviste.findKey(archive::magazineBarcode(entry.code)))
        return StockInOutcome::MagazineMissing;

    // The magazine keeps the prices and periodicity of its latest delivery.
    if (riviste.number(QStringLiteral("PREZZO")) != entry.price ||
        riviste.number(QStringLiteral("ACQUISTO")) != entry.cost ||
        riviste.text(QStringLiteral("PERIODICIT")) != entry.periodicity) {
        riviste.edit();
        riviste.setNumber(QStringLiteral("PREZZO"), entry.price);
        riviste.setNumber(QStringLiteral("ACQUISTO"), entry.cost);
        riviste.setText(QStringLiteral("PERIODICIT"), entry.periodicity.left(1));
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
        giacenza.setNumber(QStringLiteral("GIACENZA"),
                           giacenza.number(QStringLiteral("GIACENZA")) + entry.quantity);
    } else {
        giacenza.append();
        giacenza.setText(QStringLiteral("BARCODE2"), entry.code);
        giacenza.setNumber(QStringLiteral("GIACENZA"), entry.quantity);
    }
    giacenza.setDate(QStringLiteral("UCARICO"), entry.date);
    giacenza.setDate(QStringLiteral("SCADENZA"), returnBy);
    giacenza.setNumber(QStringLiteral("PREZZO"), entry.price);
    giacenza.setNumber(QStringLiteral("ACQUISTO"), entry.cost);

    dbase::Cursor& giornale = data.Giornale;
    giornale.append();
    giornale.setText(QStringLiteral("BARCODE2"), entry.code);
    giornale.setDate(QStringLiteral("DATA"), entry.date);
    giornale.setNumber(QStringLiteral("QUANTITA"), entry.quantity);
    giornale.setNumber(QStringLiteral("PREZZO"), entry.price);
    giornale.setNumber(QStringLiteral("ACQUISTO"), entry.cost);
    giornale.setText(QStringLiteral("TIPO"), archive::kCarico);
    Stored stored;
    postMovement(giornale, giacenza, stored);
    return StockInOutcome::Registered;
}

}  // namespace movements
