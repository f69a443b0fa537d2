// The registry's search over a small register in name order, with the
// Italian regional settings: what each column is compared as, the a-to-z
// upper-casing, and where the search leaves the register when it fails.
#include "registry/magazine_search.h"
#include "archive/archive_files.h"
#include "archive/data_module.h"

#include "support/italian_locale.h"

#include <QTemporaryDir>

using registry::SearchFrom;

namespace {

class MagazineSearchTest : public ItalianLocale {
  protected:
    void SetUp() override {
        ItalianLocale::SetUp();
        ASSERT_TRUE(dir.isValid());
        archive::createMissingTables(dir.path());
        data = std::make_unique<TData1>(dir.path());
        data->openTables();
        // Name order: ALFA, Caffè, PERCHÈ, ZETA.
        add("9770000000001", "ZETA", 2.5, 0, "ABC", "M");
        add("9770000000002", "ALFA", 12.25, 0.123456, "XYZ", "S");
        add("9770000000003", "PERCHÈ", 0, 0, "", "Q");
        add("9770000000004", "Caffè", 3, 1.5, "abc", "");
        data->Riviste.setIndex("NOME");
    }
    void add(const QString& barcode, const QString& name, double price, double cost,
             const QString& supplier, const QString& period) {
        dbase::Cursor& c = data->Riviste;
        c.append();
        c.setText("BARCODE", barcode);
        c.setText("NOME", name);
        if (price != 0) c.setNumber("PREZZO", price);
        if (cost != 0) c.setNumber("ACQUISTO", cost);
        c.setText("FORNITORE", supplier);
        c.setText("PERIODICIT", period);
        c.post();
    }
    QString current() { return data->Riviste.text("NOME"); }

    QTemporaryDir dir;
    std::unique_ptr<TData1> data;
};

TEST_F(MagazineSearchTest, EachColumnIsComparedAsTheOperatorReadsIt) {
    struct Case {
        const char* field;
        QString text;
        QString found;  // empty: nothing
    } cases[] = {
        {"PREZZO", "2,5", "ZETA"},  // general format, decimal comma
        {"PREZZO", "2.5", ""},      // the point is not the regional sign
        {"PREZZO", "12,25", "ALFA"},
        {"PREZZO", "2,50", ""},  // no display picture
        {"ACQUISTO", "0,123456", "ALFA"},
        {"ACQUISTO", "1,5", "Caffè"},
        {"ACQUISTO", "0", "ALFA"},    // a blank cost is empty text, 0,12... holds "0"
        {"PERIODICIT", "M", "ZETA"},  // the code, not "Mensile"
        {"PERIODICIT", "Mensile", ""},
        {"PERIODICIT", "s", "ALFA"},    // a to z upper-cased on both sides
        {"FORNITORE", "ABC", "Caffè"},  // "abc" is upper-cased too; Caffè comes first
        {"BARCODE", "0003", "PERCHÈ"},
        {"NOME", "caff", "Caffè"},
        {"NOME", "perchè", ""},  // è is not È
        {"NOME", "PERCHÈ", "PERCHÈ"},
        {"NOME", "", ""},  // an empty text is found nowhere
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString("%1 %2").arg(c.field, c.text).toStdString());
        const bool found =
            registry::findMagazine(data->Riviste, c.field, c.text, SearchFrom::Start);
        EXPECT_EQ(found, !c.found.isEmpty());
        // A failed search leaves the last magazine in name order current.
        EXPECT_EQ(current(), c.found.isEmpty() ? QString("ZETA") : c.found);
    }
}

TEST_F(MagazineSearchTest, ContinuingWalksOnToTheEnd) {
    ASSERT_TRUE(registry::findMagazine(data->Riviste, "NOME", "a", SearchFrom::Start));
    EXPECT_EQ(current(), "ALFA");
    ASSERT_TRUE(registry::findMagazine(data->Riviste, "NOME", "a", SearchFrom::AfterCurrent));
    EXPECT_EQ(current(), "Caffè");
    ASSERT_TRUE(registry::findMagazine(data->Riviste, "NOME", "a", SearchFrom::AfterCurrent));
    EXPECT_EQ(current(), "ZETA");
    // On the last magazine, continuing fails at once and stays there.
    EXPECT_FALSE(registry::findMagazine(data->Riviste, "NOME", "a", SearchFrom::AfterCurrent));
    EXPECT_EQ(current(), "ZETA");
}

TEST_F(MagazineSearchTest, MessagesShowTheTextAsCompared) {
    EXPECT_EQ(registry::notFoundText("perchè x", SearchFrom::Start),
              "   Nessuna presenza di \"PERCHè X\" trovata!   ");
    EXPECT_EQ(registry::notFoundText("m", SearchFrom::AfterCurrent),
              "   Nessun altra presenza di \"M\" trovata!   ");
}

TEST_F(MagazineSearchTest, AnEmptyRegisterFindsNothing) {
    while (!data->Riviste.isEmpty()) {
        data->Riviste.beforeDelete = nullptr;
        data->Riviste.deleteRecord();
    }
    EXPECT_FALSE(registry::findMagazine(data->Riviste, "NOME", "A", SearchFrom::Start));
    EXPECT_FALSE(registry::findMagazine(data->Riviste, "NOME", "A", SearchFrom::AfterCurrent));
}

}  // namespace
