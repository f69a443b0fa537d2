// What goes into the printed lists: the operator's selection, and the record
// filters of the print datasets that apply it.
//
// A selection is a plain value, filled from the selection window's controls
// when a list runs; the filters never see the window. Every filter starts from
// accept, and each condition that applies rejects the record when it fails:
//
//   stock list (Stampa1, page "Giornale"): magazine name, stock not zero
//     (when ticked), last stock-in date from/to, supplier, material;
//   expired issues (Stampa1, page "Scaduti"): return-by date on or before the
//     check date (today when none is given), stock not zero; nothing else;
//   movements and returns (Stampa2, Stampa3, whatever the page): magazine
//     name, movement date from/to, supplier, material.
//
// Texts compare exactly (case and blanks count). A missing date on a record
// counts as day zero: before every bound. The periodicity "V" is the
// non-periodic material; every other code, the empty one included, is periodic.
#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace sql {
class Query;
}

namespace archive {

struct PrintSelection {
    enum class Page { Giornale, Scaduti };
    enum class Material { All, Periodic, NonPeriodic };

    // The text of the magazine list while no magazine is chosen.
    static QString allMagazines() { return QStringLiteral("(tutte)"); }

    Page page = Page::Giornale;
    QString magazine = allMagazines();
    QDate from, to;  // invalid: no bound
    bool nonZeroStock = false;
    QString supplier;  // empty: every supplier
    Material material = Material::Periodic;
    QDate checkDate;  // invalid: today
};

// One run of a print dataset's filter: the selection as it stood when the
// list started, and today's date. Field numbers are found at the first record.
class PrintFilter {
  public:
    enum class Dataset { Stock, Movements };

    // No selection: every record passes.
    PrintFilter() = default;
    PrintFilter(Dataset dataset, const std::optional<PrintSelection>& selection, QDate today);

    // The answer for the query's current record.
    bool accepts(const sql::Query& record);

  private:
    bool acceptsStock(const sql::Query& record) const;
    bool acceptsMovement(const sql::Query& record) const;
    bool acceptsCommon(const sql::Query& record) const;  // supplier, material
    void findFields(const sql::Query& record);

    Dataset dataset_ = Dataset::Stock;
    std::optional<PrintSelection> selection_;
    qint64 from_ = 0, to_ = 0, check_ = 0;  // day numbers; 0 for no bound
    int nome_ = -1, fornitore_ = -1, periodicit_ = -1, giacenza_ = -1, date_ = -1, scadenza_ = -1;
};

// A date as a day number that compares as the filters compare: 0 for none.
qint64 dayNumber(QDate date);

}  // namespace archive
