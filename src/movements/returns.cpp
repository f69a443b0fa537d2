#include "movements/returns.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/pending_changes.h"

namespace movements {

ReturnOutcome registerReturn(TData1& data, const QString& code, const QDate& date,
                             double quantity) {
    dbase::Cursor& riviste = data.Riviste;
    dbase::Cursor& giornale = data.Giornale;
    dbase::Cursor& giacenza = data.Giacenza;
    DropPendingOnFailure guard{&riviste, &giornale, &giacenza};

    if (riviste.indexName().compare(QLatin1String("BARCODE"), Qt::CaseInsensitive) != 0)
        riviste.setIndex(QStringLiteral("BARCODE"));
    if (!riviste.findKey(archive::magazineBarcode(code))) return ReturnOutcome::MagazineMissing;

    giornale.append();
    giornale.setText(QStringLiteral("BARCODE2"), code);
    giornale.setDate(QStringLiteral("DATA"), date);
    giornale.setNumber(QStringLiteral("QUANTITA"), -quantity);
    giornale.setNumber(QStringLiteral("PREZZO"), riviste.number(QStringLiteral("PREZZO")));
    giornale.setNumber(QStringLiteral("ACQUISTO"), riviste.number(QStringLiteral("ACQUISTO")));
    giornale.setText(QStringLiteral("TIPO"), archive::kReso);
    giornale.post();

    if (!giacenza.findKey(code)) return ReturnOutcome::IssueMissing;
    const double stock = giacenza.number(QStringLiteral("GIACENZA"));
    giacenza.edit();
    giacenza.setNumber(QStringLiteral("GIACENZA"), stock - quantity);
    giacenza.post();

    // The journal cursor still stands on the record just written.
    giornale.edit();
    giornale.setNumber(QStringLiteral("PREZZO"), giacenza.number(QStringLiteral("PREZZO")));
    giornale.setNumber(QStringLiteral("ACQUISTO"), giacenza.number(QStringLiteral("ACQUISTO")));
    giornale.post();
    return ReturnOutcome::Registered;
}

}  // namespace movements
