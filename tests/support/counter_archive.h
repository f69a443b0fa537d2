// A scratch archive for the counter tests: the three tables in a temporary
// folder, the data module over them as Data1, helpers to put magazines, stock
// and movements in, and readers that look at what is on disk after the data
// module has closed every table (so nothing is read from a cache).
#pragma once

#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "archive/schema.h"

#include <QDate>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace counter_test {

struct Magazine {
    QString barcode, nome;
    double prezzo = 0, acquisto = 0;
    QString periodicit, fornitore;
};
struct Stock {
    QString key;
    double giacenza = 0, prezzo = 0, acquisto = 0;
    QDate ucarico, scadenza;
};
struct Movement {
    QString key;
    QDate data;
    double quantita = 0, prezzo = 0, acquisto = 0;
    QString tipo;
};

struct OnDisk {
    std::vector<Magazine> magazines;
    std::vector<Stock> stock;
    std::vector<Movement> journal;  // physical order

    std::optional<Magazine> magazine(const QString& barcode) const {
        for (const Magazine& m : magazines)
            if (m.barcode == barcode) return m;
        return std::nullopt;
    }
    std::optional<Stock> issue(const QString& key) const {
        for (const Stock& s : stock)
            if (s.key == key) return s;
        return std::nullopt;
    }
};

class CounterArchive {
  public:
    CounterArchive() {
        if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
        archive::createMissingTables(dir_.path());
        data_ = std::make_unique<TData1>(dir_.path());
        Data1 = data_.get();
        data_->openTables();
    }
    ~CounterArchive() { data_.reset(); }

    TData1& data() { return *data_; }
    QString folder() const { return dir_.path(); }

    void addMagazine(const Magazine& m) {
        dbase::Cursor& c = data_->Riviste;
        c.append();
        c.setText(QStringLiteral("BARCODE"), m.barcode);
        c.setText(QStringLiteral("NOME"), m.nome);
        c.setNumber(QStringLiteral("PREZZO"), m.prezzo);
        c.setNumber(QStringLiteral("ACQUISTO"), m.acquisto);
        c.setText(QStringLiteral("PERIODICIT"), m.periodicit);
        c.setText(QStringLiteral("FORNITORE"), m.fornitore);
        c.post();
        data_->Apporiviste.refresh();
        data_->Apporiviste2.refresh();
    }
    void addStock(const Stock& s) {
        dbase::Cursor& c = data_->Giacenza;
        c.append();
        c.setText(QStringLiteral("BARCODE2"), s.key);
        c.setNumber(QStringLiteral("GIACENZA"), s.giacenza);
        c.setNumber(QStringLiteral("PREZZO"), s.prezzo);
        c.setNumber(QStringLiteral("ACQUISTO"), s.acquisto);
        c.setDate(QStringLiteral("UCARICO"), s.ucarico);
        c.setDate(QStringLiteral("SCADENZA"), s.scadenza);
        c.post();
    }
    void addMovement(const Movement& m) {
        dbase::Cursor& c = data_->Giornale;
        c.append();
        c.setText(QStringLiteral("BARCODE2"), m.key);
        c.setDate(QStringLiteral("DATA"), m.data);
        c.setNumber(QStringLiteral("QUANTITA"), m.quantita);
        c.setNumber(QStringLiteral("PREZZO"), m.prezzo);
        c.setNumber(QStringLiteral("ACQUISTO"), m.acquisto);
        c.setText(QStringLiteral("TIPO"), m.tipo);
        c.post();
    }

    // Closes the data module's tables, reads the three files afresh, and
    // opens the tables again (in the order and indexes the data module sets).
    OnDisk onDisk() {
        data_->closeTables();
        OnDisk disk;
        read(archive::riviste3(), [&disk](dbase::Cursor& c) {
            disk.magazines.push_back(
                {c.text(QStringLiteral("BARCODE")), c.text(QStringLiteral("NOME")),
                 c.number(QStringLiteral("PREZZO")), c.number(QStringLiteral("ACQUISTO")),
                 c.text(QStringLiteral("PERIODICIT")), c.text(QStringLiteral("FORNITORE"))});
        });
        read(archive::giacenza3(), [&disk](dbase::Cursor& c) {
            disk.stock.push_back(
                {c.text(QStringLiteral("BARCODE2")), c.number(QStringLiteral("GIACENZA")),
                 c.number(QStringLiteral("PREZZO")), c.number(QStringLiteral("ACQUISTO")),
                 c.date(QStringLiteral("UCARICO")), c.date(QStringLiteral("SCADENZA"))});
        });
        read(archive::giornale3(), [&disk](dbase::Cursor& c) {
            disk.journal.push_back(
                {c.text(QStringLiteral("BARCODE2")), c.date(QStringLiteral("DATA")),
                 c.number(QStringLiteral("QUANTITA")), c.number(QStringLiteral("PREZZO")),
                 c.number(QStringLiteral("ACQUISTO")), c.text(QStringLiteral("TIPO"))});
        });
        data_->openTables();
        return disk;
    }

  private:
    template <typename F>
    void read(const archive::TableSpec& table, F each) {
        dbase::Cursor c(archive::tablePath(dir_.path(), table));
        c.setReadOnly(true);
        c.open();
        for (c.first(); !c.eof(); c.next()) {
            each(c);
            if (c.eof()) break;
        }
        c.close();
    }

    QTemporaryDir dir_;
    std::unique_ptr<TData1> data_;
};

}  // namespace counter_test
