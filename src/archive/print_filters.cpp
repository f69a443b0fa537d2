#include "archive/print_filters.h"

#include "archive/sql/query.h"

namespace archive {

qint64 dayNumber(QDate date) {
    return date.isValid() ? date.toJulianDay() : 0;
}

PrintFilter::PrintFilter(Dataset dataset, const std::optional<PrintSelection>& selection, QDate today)
    : dataset_(dataset), selection_(selection) {
    if (!selection_) return;
    from_ = dayNumber(selection_->from);
    to_ = dayNumber(selection_->to);
    check_ = dayNumber(selection_->checkDate.isValid() ? selection_->checkDate : today);
}

void PrintFilter::findFields(const sql::Query& record) {
    nome_ = record.fieldIndex(QStringLiteral("nome"));
    fornitore_ = record.fieldIndex(QStringLiteral("fornitore"));
    periodicit_ = record.fieldIndex(QStringLiteral("periodicit"));
    if (dataset_ == Dataset::Stock) {
        giacenza_ = record.fieldIndex(QStringLiteral("giacenza"));
        date_ = record.fieldIndex(QStringLiteral("ucarico"));
        scadenza_ = record.fieldIndex(QStringLiteral("scadenza"));
    } else {
        date_ = record.fieldIndex(QStringLiteral("data"));
    }
}

bool PrintFilter::accepts(const sql::Query& record) {
    if (!selection_) return true;
    if (nome_ < 0) findFields(record);
    return dataset_ == Dataset::Stock ? acceptsStock(record) : acceptsMovement(record);
}

bool PrintFilter::acceptsStock(const sql::Query& record) const {
    const PrintSelection& s = *selection_;
    if (s.page == PrintSelection::Page::Scaduti) {
        if (dayNumber(record.date(scadenza_)) > check_) return false;
        return record.number(giacenza_) != 0;
    }
    if (s.magazine != PrintSelection::allMagazines() && record.text(nome_) != s.magazine) return false;
    if (s.nonZeroStock && record.number(giacenza_) == 0) return false;
    if (from_ != 0 && dayNumber(record.date(date_)) < from_) return false;
    if (to_ != 0 && dayNumber(record.date(date_)) > to_) return false;
    return acceptsCommon(record);
}

bool PrintFilter::acceptsMovement(const sql::Query& record) const {
    const PrintSelection& s = *selection_;
    if (s.magazine != PrintSelection::allMagazines() && record.text(nome_) != s.magazine) return false;
    if (from_ != 0 && dayNumber(record.date(date_)) < from_) return false;
    if (to_ != 0 && dayNumber(record.date(date_)) > to_) return false;
    return acceptsCommon(record);
}

bool PrintFilter::acceptsCommon(const sql::Query& record) const {
    const PrintSelection& s = *selection_;
    if (!s.supplier.isEmpty() && record.text(fornitore_) != s.supplier) return false;
    switch (s.material) {
    case PrintSelection::Material::All: return true;
    case PrintSelection::Material::Periodic: return record.text(periodicit_) != QLatin1String("V");
    case PrintSelection::Material::NonPeriodic: return record.text(periodicit_) == QLatin1String("V");
    }
    return true;
}

}  // namespace archive
