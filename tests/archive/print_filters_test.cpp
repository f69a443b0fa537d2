// The print datasets' record filters over a small archive: for each selection,
// which records each of Stampa1, Stampa2 and Stampa3 gives, and in what order.
#include "support/counter_archive.h"
#include "platform/dates.h"
#include "archive/print_filters.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

using archive::PrintSelection;
using Page = PrintSelection::Page;
using Material = PrintSelection::Material;

namespace {

QDate day(int month, int d) { return QDate(2026, month, d); }

// Alfa (supplier 001, weekly), Beta (supplier 1, non-periodic "V"), a second
// Beta (supplier ABC, no periodicity), Gamma (supplier abc, monthly).
const QString a1 = QStringLiteral("977000000000100001"), a2 = QStringLiteral("977000000000100002"),
              b1 = QStringLiteral("977000000000200001"), c1 = QStringLiteral("977000000000300002"),
              d1 = QStringLiteral("977000000000400001");

class PrintFilters : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setToday(day(3, 31));
        archive.addMagazine({a1.left(13), QStringLiteral("Alfa"), 1, 1, QStringLiteral("S"), QStringLiteral("001")});
        archive.addMagazine({b1.left(13), QStringLiteral("Beta"), 1, 1, QStringLiteral("V"), QStringLiteral("1")});
        archive.addMagazine({c1.left(13), QStringLiteral("Beta"), 1, 1, QString(), QStringLiteral("ABC")});
        archive.addMagazine({d1.left(13), QStringLiteral("Gamma"), 1, 1, QStringLiteral("M"), QStringLiteral("abc")});
        // key, stock, prices, last stock-in, return-by
        archive.addStock({a1, 5, 1, 1, day(3, 1), day(3, 10)});
        archive.addStock({a2, 0, 1, 1, day(3, 15), day(3, 20)});
        archive.addStock({b1, -2, 1, 1, QDate(), QDate()});  // no dates at all
        archive.addStock({c1, 3, 1, 1, day(4, 1), day(4, 30)});
        archive.addStock({d1, 1, 1, 1, day(2, 1), day(3, 31)});
        const struct {
            const char* id;
            QString key;
            QDate date;
            double quantity;
            const char* type;
        } journal[] = {
            {"j1", a1, day(3, 1), 10, "C"}, {"j2", a1, day(3, 2), -1, "S"}, {"j3", b1, QDate(), 5, "C"},
            {"j4", c1, day(4, 1), 3, "C"},  {"j5", c1, day(4, 2), -2, "R"}, {"j6", d1, day(2, 1), 1, "C"},
            {"j7", d1, day(3, 5), -1, "R"}, {"j8", a1, day(3, 20), -4, "R"}, {"j9", a1, day(3, 2), -2, "S"},
        };
        for (const auto& j : journal) {
            // j2 is put in on the wrong day and mended after j9 came in on
            // the same day: the date index then holds j9 before j2, the
            // table j2 before j9. Ties go by the table.
            archive.addMovement({j.key, qstrcmp(j.id, "j2") == 0 ? day(3, 9) : j.date, j.quantity, 1, 1,
                                 QString::fromLatin1(j.type)});
            movementIds[movementId(j.key, j.date, QString::fromLatin1(j.type), j.quantity)] = j.id;
        }
        dbase::Cursor& journalTable = archive.data().Giornale;
        EXPECT_TRUE(journalTable.findKey(day(3, 9)));
        journalTable.edit();
        journalTable.setDate(QStringLiteral("DATA"), day(3, 2));
        journalTable.post();
    }

    static QString movementId(const QString& key, QDate date, const QString& type, double quantity) {
        return key + platform::formatDate(date) + type + QString::number(quantity);
    }
    void TearDown() override { platform::setToday({}); }

    // The records of one run of `dataset`, as ids: stock by issue key's
    // magazine letter and issue, movements by their journal id.
    QString run(sql::Query& dataset) {
        dataset.open();
        QStringList ids;
        const bool stock = &dataset == &archive.data().Stampa1;
        for (dataset.first(); !dataset.eof(); dataset.next()) {
            if (stock) {
                const QString key = dataset.text(QStringLiteral("barcode2"));
                ids << (key == a1 ? "a1" : key == a2 ? "a2" : key == b1 ? "b1" : key == c1 ? "c1" : "d1");
            } else {
                ids << movementIds.at(movementId(dataset.text(QStringLiteral("gruppo")),
                                                 dataset.date(QStringLiteral("data")),
                                                 dataset.text(QStringLiteral("tipo")),
                                                 dataset.number(QStringLiteral("quantita"))));
            }
        }
        dataset.close();
        return ids.join(u' ');
    }

    counter_test::CounterArchive archive;
    std::map<QString, QString> movementIds;
};

PrintSelection selection(std::function<void(PrintSelection&)> change) {
    PrintSelection s;  // as the window starts: "(tutte)", no dates, periodic only
    change(s);
    return s;
}

TEST_F(PrintFilters, EachDatasetGivesTheSelectedRecordsInItsOrder) {
    const struct Case {
        const char* what;
        std::optional<PrintSelection> selection;
        const char* stock;
        const char* movements;
        const char* returns;
    } cases[] = {
        {"no selection window: everything", std::nullopt, "a1 a2 b1 c1 d1", "j3 j6 j1 j2 j9 j7 j8 j4 j5", "j7 j8 j5"},
        {"start values: periodic only, the empty code is periodic", PrintSelection(), "a1 a2 c1 d1",
         "j6 j1 j2 j9 j7 j8 j4 j5", "j7 j8 j5"},
        {"all material", selection([](PrintSelection& s) { s.material = Material::All; }), "a1 a2 b1 c1 d1",
         "j3 j6 j1 j2 j9 j7 j8 j4 j5", "j7 j8 j5"},
        {"non-periodic only", selection([](PrintSelection& s) { s.material = Material::NonPeriodic; }), "b1", "j3",
         ""},
        {"supplier 1 is not 001",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.supplier = QStringLiteral("1");
         }),
         "b1", "j3", ""},
        {"supplier 001",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.supplier = QStringLiteral("001");
         }),
         "a1 a2", "j1 j2 j9 j8", "j8"},
        {"supplier abc is not ABC",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.supplier = QStringLiteral("abc");
         }),
         "d1", "j6 j7", "j7"},
        {"supplier matching nothing", selection([](PrintSelection& s) { s.supplier = QStringLiteral("zz"); }), "", "",
         ""},
        {"two magazines of one name",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.magazine = QStringLiteral("Beta");
         }),
         "b1 c1", "j3 j4 j5", "j5"},
        {"a name compares exactly", selection([](PrintSelection& s) { s.magazine = QStringLiteral("alfa"); }), "", "",
         ""},
        {"lower bound: no date is day zero, left out",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.from = day(3, 1);
         }),
         "a1 a2 c1", "j1 j2 j9 j7 j8 j4 j5", "j7 j8 j5"},
        {"upper bound only: no date passes",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.to = day(3, 1);
         }),
         "a1 b1 d1", "j3 j6 j1", ""},
        {"both bounds, inclusive",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.from = day(3, 2);
             s.to = day(3, 20);
         }),
         "a2", "j2 j9 j7 j8", "j7 j8"},
        {"lower bound after upper bound",
         selection([](PrintSelection& s) {
             s.from = day(3, 20);
             s.to = day(3, 1);
         }),
         "", "", ""},
        {"stock not zero: negative passes; the movement lists ignore the box",
         selection([](PrintSelection& s) {
             s.material = Material::All;
             s.nonZeroStock = true;
         }),
         "a1 b1 c1 d1", "j3 j6 j1 j2 j9 j7 j8 j4 j5", "j7 j8 j5"},
        {"expired by the check date: only the date and the stock count",
         selection([](PrintSelection& s) {
             s.page = Page::Scaduti;
             s.checkDate = day(3, 20);
             s.material = Material::All;
             s.from = day(4, 1);
             s.nonZeroStock = false;
         }),
         "a1 b1", "j4 j5", "j5"},
        {"expired with no check date: today (31/03), the day itself included",
         selection([](PrintSelection& s) {
             s.page = Page::Scaduti;
             s.magazine = QStringLiteral("Gamma");
             s.supplier = QStringLiteral("zz");
             s.material = Material::NonPeriodic;
         }),
         "a1 b1 d1", "", ""},
    };
    TData1& data = archive.data();
    // The movement lists give the same with their dates and supplier handed to SQL.
    for (const bool inSql : {false, true}) {
        data.printFiltersInSql = inSql;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (inSql ? ", conditions in SQL" : ""));
            if (c.selection)
                data.printSelection = [&c] { return c.selection; };
            else
                data.printSelection = nullptr;
            EXPECT_EQ(run(data.Stampa1), QLatin1String(c.stock));
            EXPECT_EQ(run(data.Stampa2), QLatin1String(c.movements));
            EXPECT_EQ(run(data.Stampa3), QLatin1String(c.returns));
        }
    }
}

TEST_F(PrintFilters, EachRunReadsTheSelectionAsItStandsThen) {
    TData1& data = archive.data();
    PrintSelection current;
    int reads = 0;
    data.printSelection = [&] {
        ++reads;
        return std::optional(current);
    };
    current.magazine = QStringLiteral("Alfa");
    EXPECT_EQ(run(data.Stampa1), QLatin1String("a1 a2"));
    // Chosen for the stock list, the magazine still restricts the next list.
    EXPECT_EQ(run(data.Stampa2), QLatin1String("j1 j2 j9 j8"));
    current.magazine = PrintSelection::allMagazines();
    current.from = day(4, 1);
    EXPECT_EQ(run(data.Stampa3), QLatin1String("j5"));
    // Once per run, not once per record.
    EXPECT_EQ(reads, 3);
}

}  // namespace
