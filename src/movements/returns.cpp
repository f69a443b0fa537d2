#include "movements/returns.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/movement_post.h"
#include "movements/pending_changes.h"

namespace movements {

ReturnOutcome registerReturn(TData1& data, const QString& code, const QDate& date,
                             double quantity) {
    dbase::Cursor& riviste = data.Riviste;
    dbase::Cursor& giornale = data.Giornale;
    dbase::Cursor& giacenza = data.Giacenza;
    DropPendingOnFailure guard{&riviste, &giornale, &giacenza};

    if (riviste.indexName().compare(archive::fields::BARCODE, Qt::CaseInsensitive) != 0)
        riviste.setIndex(archive::fields::BARCODE);
    if (!riviste.findKey(archive::magazineBarcode(code))) return ReturnOutcome::MagazineMissing;

    // The stock record first: edit() locks it and reads it as it is on disk,
    // so the copies are taken from the stock as it is now. The journal record
    // takes the issue's prices: the copies were delivered at those, and the
    // distributor credits them.
    const bool stocked = giacenza.findKey(code);
    if (stocked) {
        giacenza.edit();
        giacenza.setNumber(archive::fields::GIACENZA,
                           giacenza.number(archive::fields::GIACENZA) - quantity);
    }
    dbase::Cursor& prices = stocked ? giacenza : riviste;
    giornale.append();
    giornale.setText(archive::fields::BARCODE2, code);
    giornale.setDate(archive::fields::DATA, date);
    giornale.setNumber(archive::fields::QUANTITA, -quantity);
    giornale.setNumber(archive::fields::PREZZO, prices.number(archive::fields::PREZZO));
    giornale.setNumber(archive::fields::ACQUISTO, prices.number(archive::fields::ACQUISTO));
    giornale.setText(archive::fields::TIPO, archive::kReso);
    if (!stocked) {
        giornale.post();
        return ReturnOutcome::IssueMissing;
    }
    Stored stored;
    postMovement(giornale, giacenza, stored);
    return ReturnOutcome::Registered;
}

}  // namespace movements
