#include "movements/barcode_reading.h"

#include "archive/schema.h"

namespace movements {

const QString kWaitingForReading = QStringLiteral("in attesa di lettura barcode");
const QString kBadReading = QStringLiteral("errore in lettura...");
const QString kNotStocked = QStringLiteral("Scaricamento impossibile! articolo non caricato");
const QString kIndexError = QStringLiteral("Errore sugli indici, ... ricostruirli");

QString confirmThirteenText() {
    return QStringLiteral("   ATTENZIONE!!! Sicuro di aver letto bene il codice?   ") +
           QStringLiteral("\n\r") + QStringLiteral("   E' lungo solo 13 caratteri!   ");
}

Reading classifyReading(CounterWindow window, const QString& code) {
    if (window == CounterWindow::Sales && code.isEmpty()) return Reading::Ignore;
    if (code == QLatin1String("000")) return Reading::Close;
    if (window == CounterWindow::Sales) {
        if (code == QLatin1String("999")) return Reading::ClearList;
        if (code == QLatin1String("888")) return Reading::RegisterSale;
    }
    if (!archive::isIssueKeyLength(code.size())) return Reading::Bad;
    if (window == CounterWindow::StockIn && code.size() == 13) return Reading::Confirm;
    return Reading::LookUp;
}

}  // namespace movements
