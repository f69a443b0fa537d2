#include "movements/sale.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/barcode_reading.h"
#include "movements/movement_post.h"
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
        saleLineName(giacenza.text(archive::fields::NOME),
                     giacenza.number(archive::fields::GIACENZA)),
        giacenza.number(archive::fields::PREZZO),
        giacenza.text(archive::fields::BARCODE2),
        giacenza.number(archive::fields::ACQUISTO),
    };
}

void SaleList::add(const SaleLine& line) {
    lines_.push_back(line);
    total_ += line.prezzo;
}

void SaleList::clear() {
    lines_.clear();
    total_ = 0;
    done_ = {};
}

SaleOutcome SaleList::registerAll(TData1& data) {
    dbase::Cursor& giacenza = data.Giacenza;
    dbase::Cursor& giornale = data.Giornale;
    while (!lines_.empty()) {
        SaleLine& line = lines_.front();
        if (!giacenza.findKey(line.barcode)) {
            done_.skipped.push_back(line);
            lines_.erase(lines_.begin());
            continue;
        }
        Stored stored = line.journalStored ? Stored::JournalOnly : Stored::Nothing;
        try {
            DropPendingOnFailure guard{&giacenza, &giornale};
            // edit() locks the stock record and reads it afresh: the copy is
            // taken from the stock as it is now. A new stock the table cannot
            // hold stops the line here, before anything is written.
            giacenza.edit();
            giacenza.setNumber(archive::fields::GIACENZA,
                               giacenza.number(archive::fields::GIACENZA) - 1);
            if (line.journalStored) {
                std::exception_ptr handlerError;
                postKeepingHandlerError(giacenza, handlerError);
                stored = Stored::Both;
                if (handlerError) std::rethrow_exception(handlerError);
            } else {
                giornale.append();
                giornale.setText(archive::fields::BARCODE2, line.barcode);
                giornale.setDate(archive::fields::DATA, platform::today());
                giornale.setNumber(archive::fields::QUANTITA, -1);
                giornale.setNumber(archive::fields::PREZZO, line.prezzo);
                giornale.setNumber(archive::fields::ACQUISTO, line.acquisto);
                giornale.setText(archive::fields::TIPO, archive::kScarico);
                postMovement(giornale, giacenza, stored);
            }
        } catch (...) {
            if (stored == Stored::Both) {
                ++done_.registered;
                lines_.erase(lines_.begin());
            } else {
                line.journalStored = stored == Stored::JournalOnly;
            }
            throw;
        }
        ++done_.registered;
        lines_.erase(lines_.begin());
    }
    total_ = 0;
    SaleOutcome outcome = std::move(done_);
    done_ = {};
    return outcome;
}

QString skippedLinesWarning(const SaleOutcome& outcome) {
    if (outcome.skipped.empty()) return {};
    QString text = QStringLiteral("   ") + kNotStocked + QStringLiteral(":   ");
    for (const SaleLine& line : outcome.skipped)
        text += QStringLiteral("\n   ") + line.nome + QStringLiteral(" (") + line.barcode +
                QStringLiteral(")   ");
    text += outcome.registered > 0 ? QStringLiteral("\n   Le altre righe sono state registrate.   ")
                                   : QStringLiteral("\n   Nessuna riga è stata registrata.   ");
    return text;
}

}  // namespace movements
