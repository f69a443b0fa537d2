#include "maintenance/upgrade.h"
#include "support/upgrade_support.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using namespace upgrade_test;
using maintenance::upgradeVersion2;

namespace {

const QStringList kVersion3Files = {"Giacenza3.DBF", "Giacenza3.MDX", "Giornale3.DBF",
                                    "Giornale3.MDX", "Riviste3.DBF",  "Riviste3.MDX"};

class UpgradeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString folder() const { return dir.path(); }
    QTemporaryDir dir;
    QTemporaryDir dir2;
};

TEST_F(UpgradeTest, CopiesByPositionFillsTheNewFieldsAndRemovesVersion2) {
    makeVersion2Installation(folder());
    // Records already in a version-3 table are replaced, not added to.
    runSql(folder(), "insert into riviste3 (barcode, nome) values ('9770000000000', 'Vecchia')");
    EXPECT_TRUE(maintenance::hasVersion2Archive(folder()));

    upgradeVersion2(folder());

    EXPECT_EQ(rows(folder(),
                   "select barcode, nome, prezzo, fornitore, acquisto, periodicit "
                   "from riviste3 order by barcode"),
              QStringList({"9771234567003|Cucina Facile|2.5|A01|1.9|S",
                           "9779876543002|Motori Oggi|4.9|B02|3.969|S"}));
    // Fifteen days after the last stock-in; none without one.
    EXPECT_EQ(rows(folder(),
                   "select barcode2, giacenza, ucarico, scadenza from giacenza3 order by barcode2"),
              QStringList({"977123456700301|3|2003-05-10|2003-05-25", "977987654300200012|0||"}));
    EXPECT_EQ(rows(folder(), "select count(*), sum(quantita) from giornale3"),
              QStringList({"3|3"}));
    EXPECT_EQ(folderFiles(folder()), kVersion3Files);
    EXPECT_FALSE(maintenance::hasVersion2Archive(folder()));
}

TEST_F(UpgradeTest, AMissingVersion2TableFailsEveryTimeAndKeepsTheOldFiles) {
    makeVersion2Installation(folder());
    ASSERT_TRUE(QFile::remove(QDir(folder()).filePath("Giacenza.DBF")));
    for (int run = 0; run < 2; ++run) {
        EXPECT_THROW(upgradeVersion2(folder()), platform::Error);
        // The magazines were converted, once, before the failure.
        EXPECT_EQ(rows(folder(), "select count(*) from riviste3"), QStringList({"2"}));
        EXPECT_TRUE(maintenance::hasVersion2Archive(folder()));
        EXPECT_TRUE(QFile::exists(QDir(folder()).filePath("Giornale.DBF")));
    }
}

TEST_F(UpgradeTest, AFailingUpdateKeepsTheVersion2FilesForTheNextStart) {
    // A last stock-in that leaves no room for a return-by date fifteen days on.
    makeVersion2Installation(folder(), QDate(9999, 12, 25));
    EXPECT_THROW(upgradeVersion2(folder()), platform::Error);
    // The copy had gone through: the update of the return-by dates failed.
    EXPECT_EQ(rows(folder(), "select count(*) from giacenza3"), QStringList({"2"}));
    const QStringList before = folderFiles(folder());
    EXPECT_TRUE(before.contains("Riviste.DBF") && before.contains("Giacenza.DBF") &&
                before.contains("Giornale.DBF"));

    // Mended by hand, the next start converts again from scratch.
    runSql(folder(), "update giacenza set ucarico = ?1 where giacenza = 3", {QDate(2003, 6, 1)});
    upgradeVersion2(folder());
    EXPECT_EQ(rows(folder(), "select count(*) from giacenza3"), QStringList({"2"}));
    EXPECT_EQ(rows(folder(), "select count(*) from giornale3"), QStringList({"3"}));
    EXPECT_EQ(rows(folder(), "select scadenza from giacenza3 where giacenza = 3"),
              QStringList({"2003-06-16"}));
    EXPECT_EQ(folderFiles(folder()), kVersion3Files);
}

// Files that cannot be deleted (held open by another program) must not make
// the next start convert again over the registered data.
TEST_F(UpgradeTest, Version2FilesThatCannotBeDeletedAreNeverConvertedAgain) {
    makeVersion2Installation(folder());
    const auto noRemove = [](const QString&) { return false; };
    upgradeVersion2(folder(), {noRemove, {}});
    EXPECT_FALSE(maintenance::hasVersion2Archive(folder()));
    QStringList expected = kVersion3Files;
    for (const char* name : {"Giacenza.DBF", "Giornale.DBF", "Riviste.DBF"})
        expected << QString(name) + maintenance::kConvertedSuffix;
    expected.sort(Qt::CaseInsensitive);
    QStringList found = folderFiles(folder());
    found.removeIf([](const QString& name) { return name.endsWith(".MDX.convertito"); });
    EXPECT_EQ(found, expected);

    // Neither deleted nor renamed: an error that names them, not a success.
    makeVersion2Installation(dir2.path());
    try {
        upgradeVersion2(dir2.path(),
                        {noRemove, [](const QString&, const QString&) { return false; }});
        ADD_FAILURE() << "reported as done";
    } catch (const maintenance::Version2NotRemoved& error) {
        EXPECT_TRUE(error.message().startsWith("Unable to delete or rename "));
        EXPECT_TRUE(error.message().contains("Riviste.DBF")) << error.message().toStdString();
    }
}

TEST_F(UpgradeTest, Version2IsFoundWhateverTheCaseOfItsName) {
    EXPECT_FALSE(maintenance::hasVersion2Archive(folder()));
    QFile file(QDir(folder()).filePath("RIVISTE.dbf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(maintenance::hasVersion2Archive(folder()));
}

}  // namespace
