// The data module `Data1`: the SQL connection over the working folder, every
// shared dataset of the archive, and the rules that hold whichever window
// works on them:
// * a pending change is posted, not lost, when a table closes;
// * every post is on disk when it returns;
// * stock and journal records show their magazine's barcode, issue number and
//   name (calculated fields BARCODE, NUMERO, NOME);
// * deleting a magazine deletes its stock and journal records, after a
//   warning when it has stock and a question that must be answered Yes.
// Windows never repeat these rules; they rely on them.
#pragma once

#include "archive/dbase/cursor.h"
#include "archive/sql/query.h"
#include "archive/sql/sql_database.h"
#include "archive/print_filters.h"

#include <QString>
#include <functional>
#include <optional>

class TData1 {
public:
    // Opens the SQL connection on `folder`; the tables stay closed.
    explicit TData1(const QString& folder);
    ~TData1();
    TData1(const TData1&) = delete;
    TData1& operator=(const TData1&) = delete;

    const QString& folder() const { return folder_; }

    // Opens Riviste, Giacenza, Giornale, Apporiviste, Apporiviste2 in this
    // order; an open cursor stays open. Throws the engine's error.
    void openTables();
    // Closes Giacenza, Giornale, Apporiviste, Apporiviste2, Riviste in this order.
    void closeTables();
    // True when the three main tables are open.
    bool mainTablesOpen() const;
    // True when the last openTables() of this run opened every table without
    // an error; false before the first and after one that failed. Only
    // tables that opened cleanly may replace the last good backup.
    bool tablesOpenedCleanly() const { return openedCleanly_; }

    sql::Database Database1;

    dbase::Cursor Riviste;
    dbase::Cursor Giacenza;
    dbase::Cursor Giornale;
    dbase::Cursor Apporiviste;
    dbase::Cursor Apporiviste2;

    sql::Query Query1;
    sql::Query Stampa1;
    sql::Query Stampa2;
    sql::Query Stampa3;

    // What the print datasets' filters read, as it stands when a list runs:
    // the selection window's values. Unset (no selection window), every
    // record is accepted.
    std::function<std::optional<archive::PrintSelection>()> printSelection;
    // The movement lists hand their date range and supplier to SQL as well,
    // so that the journal's date index finds the days asked for and only the
    // supplier's rows are sorted; the record filter still decides. Off, the
    // SQL reads the whole journal: the same records come out, in the same
    // order, only slower.
    bool printFiltersInSql = true;

    // The record filters of the print datasets, for their current record.
    bool Stampa1FilterRecord(const sql::Query& dataset);
    bool Stampa2FilterRecord(const sql::Query& dataset);
    bool Stampa3FilterRecord(const sql::Query& dataset);

    // The rules, attached to the datasets above.
    static void DatabaseBeforeClose(dbase::Cursor& dataset);
    static void DatabaseAfterPost(dbase::Cursor& dataset);
    void GiacenzaCalcFields(dbase::Cursor& dataset);
    void GiornaleCalcFields(dbase::Cursor& dataset);
    void RivisteBeforeDelete(dbase::Cursor& dataset);

    // The two texts of the cascade delete.
    static QString cascadeWarningText();
    static QString cascadeQuestionText(const QString& name);

private:
    void calcFields(dbase::Cursor& dataset, dbase::Cursor& lookUp);
    archive::PrintFilter startFilter(archive::PrintFilter::Dataset dataset) const;
    void startMovementList(sql::Query& dataset, const QString& where, const QString& order,
                           archive::PrintFilter& filter);

    QString folder_;
    bool openedCleanly_ = false;
    // The filter of each print dataset's current run.
    archive::PrintFilter stampa1Filter_, stampa2Filter_, stampa3Filter_;
};

extern TData1* Data1;
