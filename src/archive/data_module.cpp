#include "archive/data_module.h"

#include "archive/archive_files.h"
#include "archive/schema.h"
#include "archive/statements.h"
#include "platform/dates.h"
#include "platform/error.h"
#include "platform/prompts.h"

TData1* Data1 = nullptr;

TData1::TData1(const QString& folder) : Database1(folder), Query1(Database1), Stampa1(Database1),
      Stampa2(Database1), Stampa3(Database1), folder_(folder) {
    using namespace archive;
    Riviste.setTableName(tablePath(folder, riviste3()));
    Giacenza.setTableName(tablePath(folder, giacenza3()));
    Giornale.setTableName(tablePath(folder, giornale3()));
    Apporiviste.setTableName(tablePath(folder, riviste3()));
    Apporiviste2.setTableName(tablePath(folder, riviste3()));
    Apporiviste.setReadOnly(true);
    Apporiviste2.setReadOnly(true);

    for (dbase::Cursor* c : {&Riviste, &Giacenza, &Giornale}) {
        c->beforeClose = &TData1::DatabaseBeforeClose;
        c->afterPost = &TData1::DatabaseAfterPost;
    }
    for (dbase::Cursor* c : {&Giacenza, &Giornale}) {
        for (const char* name : {"NOME", "NUMERO", "BARCODE"}) c->addCalculatedField(QString::fromLatin1(name));
    }
    Giacenza.calcFields = [this](dbase::Cursor& c) { GiacenzaCalcFields(c); };
    Giornale.calcFields = [this](dbase::Cursor& c) { GiornaleCalcFields(c); };
    Riviste.beforeDelete = [this](dbase::Cursor& c) { RivisteBeforeDelete(c); };

    Stampa1.setText(statements::kStampa1);
    Stampa2.setText(statements::kStampa2);
    Stampa3.setText(statements::kStampa3);
    // Each run takes the selection once, as it stands when the list starts.
    using Dataset = archive::PrintFilter::Dataset;
    Stampa1.beforeOpen = [this] { stampa1Filter_ = startFilter(Dataset::Stock); };
    Stampa2.beforeOpen = [this] {
        startMovementList(Stampa2, statements::kStampa2Where, statements::kStampa2Order, stampa2Filter_);
    };
    Stampa3.beforeOpen = [this] {
        startMovementList(Stampa3, statements::kStampa3Where, statements::kStampa3Order, stampa3Filter_);
    };
    Stampa1.filter = [this](const sql::Query& q) { return Stampa1FilterRecord(q); };
    Stampa2.filter = [this](const sql::Query& q) { return Stampa2FilterRecord(q); };
    Stampa3.filter = [this](const sql::Query& q) { return Stampa3FilterRecord(q); };
}

archive::PrintFilter TData1::startFilter(archive::PrintFilter::Dataset dataset) const {
    return archive::PrintFilter(dataset, printSelection ? printSelection() : std::nullopt,
                                platform::today());
}

void TData1::startMovementList(sql::Query& dataset, const QString& where, const QString& order,
                               archive::PrintFilter& filter) {
    using namespace archive::statements;
    const std::optional<archive::PrintSelection> selection = printSelection ? printSelection() : std::nullopt;
    filter = archive::PrintFilter(archive::PrintFilter::Dataset::Movements, selection, platform::today());
    // Dates only with a first day: a movement without a date passes an upper
    // bound alone in the filter, but no SQL comparison.
    const bool inSql = printFiltersInSql && selection;
    const bool from = inSql && selection->from.isValid();
    const bool to = from && selection->to.isValid();
    const bool supplier = inSql && !selection->supplier.isEmpty();
    QString text = kMovementColumns + where;
    if (from) text += kMovementsFrom;
    if (to) text += kMovementsTo;
    if (supplier) text += kMovementsSupplier;
    dataset.clear();  // the bindings of the last run go too
    dataset.add(text + order);
    if (from) dataset.bind(1, selection->from);
    if (to) dataset.bind(2, selection->to);
    if (supplier) dataset.bind(3, selection->supplier);
}

bool TData1::Stampa1FilterRecord(const sql::Query& dataset) { return stampa1Filter_.accepts(dataset); }

bool TData1::Stampa2FilterRecord(const sql::Query& dataset) { return stampa2Filter_.accepts(dataset); }

bool TData1::Stampa3FilterRecord(const sql::Query& dataset) { return stampa3Filter_.accepts(dataset); }

TData1::~TData1() {
    try {
        closeTables();
    } catch (const platform::Error&) {
        // Leaving the program: a post that fails here has nobody to tell.
    }
    if (Data1 == this) Data1 = nullptr;
}

void TData1::openTables() {
    openedCleanly_ = false;
    // The look-up datasets come last, so the calculated names stay empty
    // while the tables they serve open.
    Riviste.open();
    Riviste.setIndex(archive::fields::NOME);
    Giacenza.open();
    Giacenza.setIndex(archive::fields::BARCODE2);
    Giornale.open();
    Giornale.setIndex(archive::fields::DATA);
    Apporiviste.open();
    Apporiviste.setIndex(archive::fields::BARCODE);
    Apporiviste2.open();
    Apporiviste2.setIndex(archive::fields::BARCODE);
    openedCleanly_ = true;
}

void TData1::closeTables() {
    for (sql::Query* q : {&Query1, &Stampa1, &Stampa2, &Stampa3}) q->close();
    Database1.releaseTables();
    for (dbase::Cursor* c : {&Giacenza, &Giornale, &Apporiviste, &Apporiviste2, &Riviste}) c->close();
}

bool TData1::mainTablesOpen() const {
    return Riviste.isOpen() && Giacenza.isOpen() && Giornale.isOpen();
}

void TData1::DatabaseBeforeClose(dbase::Cursor& dataset) {
    // A pending change is kept: closing posts it. A record that was started
    // but never filled in holds nothing to keep, and is dropped.
    if (dataset.state() == dbase::Cursor::State::Edit ||
        dataset.state() == dbase::Cursor::State::Insert) {
        if (dataset.modified())
            dataset.post();
        else
            dataset.cancel();
    }
}

void TData1::DatabaseAfterPost(dbase::Cursor&) {
    // The rule is that a posted record is on disk before the window goes on,
    // and the engine's post returns only then. The index and the header follow
    // with the engine's lazy sync (a couple of seconds later, and at close):
    // syncing them here after every post made each sale line cost four syncs
    // instead of one, and a system crash before the lazy sync costs no record,
    // only an index rebuild at the next start.
}

void TData1::calcFields(dbase::Cursor& dataset, dbase::Cursor& lookUp) {
    const QString key = dataset.text(archive::fields::BARCODE2);
    const QString barcode = archive::magazineBarcode(key);
    dataset.setText(archive::fields::BARCODE, barcode);
    dataset.setText(archive::fields::NUMERO, archive::issueNumber(key));
    QString name;
    if (lookUp.isOpen() && lookUp.findKey(barcode)) name = lookUp.text(archive::fields::NOME);
    dataset.setText(archive::fields::NOME, name);
}

void TData1::GiacenzaCalcFields(dbase::Cursor& dataset) { calcFields(dataset, Apporiviste); }

void TData1::GiornaleCalcFields(dbase::Cursor& dataset) { calcFields(dataset, Apporiviste2); }

QString TData1::cascadeWarningText() {
    return QStringLiteral(
               "   ATTENZIONE !!!  in archivio ci sono registrazioni di questa rivista!   ") +
           QStringLiteral("\n\r") +
           QStringLiteral(
               "   Se si risponde conferma il comando di cancellazione verranno cancellate anche "
               "da giornale e da giacenze!   ");
}

QString TData1::cascadeQuestionText(const QString& name) {
    return QStringLiteral("   Confermi la cancellazione della rivista \"") + name +
           QStringLiteral("\" ?   ");
}

void TData1::RivisteBeforeDelete(dbase::Cursor& dataset) {
    const QString barcode = dataset.text(archive::fields::BARCODE);
    const QString name = dataset.text(archive::fields::NOME);

    Query1.clear();
    Query1.add(archive::statements::kCountStock);
    Query1.bind(1, barcode);
    Query1.open();
    const double stock = Query1.number(0);
    Query1.close();

    if (stock != 0) platform::prompts().warning(cascadeWarningText());
    if (!platform::prompts().question(cascadeQuestionText(name))) throw platform::Abort();

    for (const QString& statement :
         {archive::statements::kDeleteStock, archive::statements::kDeleteJournal}) {
        Query1.clear();
        Query1.add(statement);
        Query1.bind(1, barcode);
        Query1.execute();
    }
    for (dbase::Cursor* c : {&Giacenza, &Giornale, &Apporiviste, &Apporiviste2}) {
        if (c->isOpen()) c->refresh();
    }
}
