#include "archive/schema.h"

namespace archive {
namespace {

const QString kPrice = QStringLiteral("0.00;;#");
const QString kPriceEdit = QStringLiteral("#.##");
const QString kCost = QStringLiteral("0.00####;;#");
const QString kCostEdit = QStringLiteral("#.######");

}  // namespace

const TableSpec& riviste3() {
    static const TableSpec def{
        QStringLiteral("Riviste3.DBF"),
        QStringLiteral("riviste3"),
        {
            {fields::BARCODE, 'C', 13, 0, QStringLiteral("Barcode"), {}, {}},
            {fields::NOME, 'C', 30, 0, QStringLiteral("Nome Rivista"), {}, {}},
            {fields::PREZZO, 'N', 10, 2, QStringLiteral("Prezzo"), kPrice, kPriceEdit},
            {fields::FORNITORE, 'C', 3, 0, QStringLiteral("Forn."), {}, {}},
            {fields::ACQUISTO, 'N', 14, 6, QStringLiteral("Costo"), kCost, kCostEdit},
            {fields::PERIODICIT, 'C', 1, 0, QStringLiteral("Period."), {}, {}},
        },
        {fields::BARCODE, fields::FORNITORE, fields::NOME},
    };
    return def;
}

const TableSpec& giacenza3() {
    static const TableSpec def{
        QStringLiteral("Giacenza3.DBF"),
        QStringLiteral("giacenza3"),
        {
            {fields::GIACENZA, 'F', 10, 0, {}, {}, {}},
            {fields::PREZZO, 'F', 10, 2, {}, kPrice, {}},
            {fields::UCARICO, 'D', 8, 0, {}, {}, {}},
            {fields::BARCODE2, 'C', 18, 0, {}, {}, {}},
            {fields::ACQUISTO, 'F', 14, 6, QStringLiteral("Costo"), kCost, kCostEdit},
            {fields::SCADENZA, 'D', 8, 0, QStringLiteral("Scadenza"), {}, {}},
        },
        {fields::BARCODE2},
    };
    return def;
}

const TableSpec& giornale3() {
    static const TableSpec def{
        QStringLiteral("Giornale3.DBF"),
        QStringLiteral("giornale3"),
        {
            {fields::DATA, 'D', 8, 0, {}, {}, {}},
            {fields::QUANTITA, 'N', 10, 0, {}, {}, {}},
            {fields::PREZZO, 'N', 10, 2, {}, kPrice, kPriceEdit},
            {fields::BARCODE2, 'C', 18, 0, {}, {}, {}},
            {fields::TIPO, 'C', 1, 0, {}, {}, {}},
            {fields::ACQUISTO, 'N', 14, 6, QStringLiteral("Costo"), kCost, kCostEdit},
        },
        {fields::DATA},
    };
    return def;
}

const std::vector<const TableSpec*>& allTables() {
    static const std::vector<const TableSpec*> tables{&riviste3(), &giacenza3(), &giornale3()};
    return tables;
}

bool isIssueKeyLength(qsizetype length) {
    return length == 8 || length == 13 || length == 15 || length == 18;
}

QString magazineBarcode(QStringView issueKey) {
    return issueKey.left(13).toString();
}

QString issueNumber(QStringView issueKey) {
    return issueKey.size() > 13 ? issueKey.mid(13, 5).toString() : QString();
}

QString movementName(QStringView tipo) {
    if (tipo == kCarico) return QStringLiteral("Carico");
    if (tipo == kScarico) return QStringLiteral("Scarico");
    if (tipo == kReso) return QStringLiteral("Reso");
    return {};
}

const std::vector<Periodicity>& periodicities() {
    static const std::vector<Periodicity> codes{
        {QStringLiteral("Q"), QStringLiteral("Quotidiano"), QStringLiteral("Quotidiano")},
        {QStringLiteral("S"), QStringLiteral("Settimanale"), QStringLiteral("Settimanale")},
        {QStringLiteral("D"), QStringLiteral("Quindicinale"), QStringLiteral("Quindicinale")},
        {QStringLiteral("M"), QStringLiteral("Mensile"), QStringLiteral("Mensile")},
        {QStringLiteral("B"), QStringLiteral("Bimestrale"), QStringLiteral("Bimestrale")},
        {QStringLiteral("T"), QStringLiteral("Trimestrale"), QStringLiteral("Trimestrale")},
        {QStringLiteral("U"), QStringLiteral("Quadrimestrale"), QStringLiteral("Quadrimestrale")},
        {QStringLiteral("A"), QStringLiteral("Altro (2 mesi)"), QStringLiteral("Altro")},
        {QStringLiteral("V"), QStringLiteral("Vario Non Periodico"), {}},
    };
    return codes;
}

QDate fn_scadenza(QStringView letter, const QDate& date) {
    struct Rule {
        char16_t code;
        int days;
    };
    static constexpr Rule rules[] = {{u'Q', 1},  {u'S', 7},  {u'D', 15}, {u'M', 30},
                                     {u'B', 60}, {u'T', 90}, {u'U', 120}};
    if (letter == u"V") return QDate(2099, 12, 31);
    if (letter.size() == 1) {
        for (const Rule& r : rules) {
            if (letter[0] == r.code) return date.addDays(r.days);
        }
    }
    return date.addDays(60);
}

}  // namespace archive
