#include "reports/report_dataset.h"

#include "archive/data_module.h"
#include "archive/schema.h"

#include <QFileInfo>

namespace reports {

QString schemaDisplayFormat(const QString& fieldName) {
    for (const archive::TableSpec* t : archive::allTables())
        for (const archive::FieldSpec& f : t->fields)
            if (f.name.compare(fieldName, Qt::CaseInsensitive) == 0 && !f.displayFormat.isEmpty())
                return f.displayFormat;
    return {};
}

namespace {

class QueryDataset final : public ReportDataset {
  public:
    explicit QueryDataset(sql::Query& q) : q_(q) {}

    FieldCatalog fields() const override {
        FieldCatalog c;
        for (int i = 0; i < q_.fieldCount(); ++i) {
            c.names.push_back(q_.fieldName(i));
            c.displayFormats.push_back(q_.fieldType(i) == sql::Query::FieldType::Number
                                           ? schemaDisplayFormat(q_.fieldName(i))
                                           : QString());
        }
        return c;
    }
    void first() override { q_.first(); }
    bool eof() const override { return q_.eof(); }
    void next() override { q_.next(); }
    void read(Row& row) const override {
        const int n = q_.fieldCount();
        row.resize(size_t(n));
        for (int i = 0; i < n; ++i) {
            if (q_.isNull(i)) {
                row[size_t(i)] = {};
                continue;
            }
            switch (q_.fieldType(i)) {
            case sql::Query::FieldType::Number: row[size_t(i)] = Value::of(q_.number(i)); break;
            case sql::Query::FieldType::Date: row[size_t(i)] = Value::of(q_.date(i)); break;
            case sql::Query::FieldType::Text: row[size_t(i)] = Value::of(q_.text(i)); break;
            }
        }
    }

  private:
    sql::Query& q_;  // navigation moves it, as reading any dataset does
};

class CursorDataset final : public ReportDataset {
  public:
    explicit CursorDataset(dbase::Cursor& c) : c_(c) {
        const QString file = QFileInfo(c.tableName()).fileName();
        for (const archive::TableSpec* t : archive::allTables()) {
            if (t->fileName.compare(file, Qt::CaseInsensitive) != 0) continue;
            for (const archive::FieldSpec& f : t->fields) fields_.push_back({f.name, f.type, f.displayFormat});
        }
        if (fields_.empty()) {
            for (int i = 0; i < c.fieldCount(); ++i) fields_.push_back({c.fieldName(i), 'C', {}});
        }
        // The calculated fields the data module gives stock and journal records.
        for (const char* name : {"NOME", "NUMERO", "BARCODE"}) {
            const QString n = QString::fromLatin1(name);
            bool have = false;
            for (const Field& f : fields_) have = have || f.name == n;
            if (!have && c.hasField(n)) fields_.push_back({n, 'C', {}});
        }
    }

    FieldCatalog fields() const override {
        FieldCatalog c;
        for (const Field& f : fields_) {
            c.names.push_back(f.name);
            c.displayFormats.push_back(f.format);
        }
        return c;
    }
    void first() override { c_.first(); }
    bool eof() const override { return c_.eof() || c_.isEmpty(); }
    void next() override { c_.next(); }
    void read(Row& row) const override {
        row.resize(fields_.size());
        for (size_t i = 0; i < fields_.size(); ++i) {
            const Field& f = fields_[i];
            switch (f.type) {
            case 'N':
            case 'F': row[i] = c_.isBlank(f.name) ? Value{} : Value::of(c_.number(f.name)); break;
            case 'D': row[i] = Value::of(c_.date(f.name)); break;
            default: row[i] = Value::of(c_.text(f.name));
            }
        }
    }

  private:
    struct Field {
        QString name;
        char type;
        QString format;
    };
    dbase::Cursor& c_;
    std::vector<Field> fields_;
};

}  // namespace

std::unique_ptr<ReportDataset> queryDataset(sql::Query& query) {
    return std::make_unique<QueryDataset>(query);
}

std::unique_ptr<ReportDataset> cursorDataset(dbase::Cursor& cursor) {
    return std::make_unique<CursorDataset>(cursor);
}

DatasetResolver dataModuleDatasets(TData1& data) {
    return [&data](const QString& name) -> std::unique_ptr<ReportDataset> {
        const std::pair<const char*, sql::Query*> queries[] = {
            {"Stampa1", &data.Stampa1}, {"Stampa2", &data.Stampa2}, {"Stampa3", &data.Stampa3}, {"Query1", &data.Query1}};
        for (const auto& [n, q] : queries) {
            if (name.compare(QLatin1String(n), Qt::CaseInsensitive) != 0) continue;
            if (!q->isOpen()) throw ReportError(QStringLiteral("Dataset %1 is not open").arg(QLatin1String(n)));
            return queryDataset(*q);
        }
        const std::pair<const char*, dbase::Cursor*> cursors[] = {
            {"Riviste", &data.Riviste},         {"Giacenza", &data.Giacenza},
            {"Giornale", &data.Giornale},       {"Apporiviste", &data.Apporiviste},
            {"Apporiviste2", &data.Apporiviste2}};
        for (const auto& [n, c] : cursors) {
            if (name.compare(QLatin1String(n), Qt::CaseInsensitive) != 0) continue;
            if (!c->isOpen()) throw ReportError(QStringLiteral("Dataset %1 is not open").arg(QLatin1String(n)));
            return cursorDataset(*c);
        }
        return nullptr;
    };
}

}  // namespace reports
