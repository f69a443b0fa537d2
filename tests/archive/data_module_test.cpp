#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "platform/error.h"
#include "platform/scripted_prompts.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::ScriptedPrompts;

namespace {

class DataModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        archive::createMissingTables(dir.path());
        data = std::make_unique<TData1>(dir.path());
        data->openTables();
        addMagazine("9771111111001", "Zeta Moto");
        addMagazine("12345670", "Beta Enigmi");
        addMagazine("9772222222002", "Solo Giornale");
        for (const char* key : {"977111111100100042", "977111111100112", "9771111111001",
                                "12345670", "977999999900100001"})
            addStock(key);
        addJournal("977111111100100042");
        addJournal("977222222200200001");  // a magazine with journal records only
    }

    void addMagazine(const QString& barcode, const QString& name) {
        data->Riviste.append();
        data->Riviste.setText("BARCODE", barcode);
        data->Riviste.setText("NOME", name);
        data->Riviste.post();
    }
    void addStock(const QString& key) {
        data->Giacenza.append();
        data->Giacenza.setText("BARCODE2", key);
        data->Giacenza.setNumber("GIACENZA", 1);
        data->Giacenza.post();
    }
    void addJournal(const QString& key) {
        data->Giornale.append();
        data->Giornale.setText("BARCODE2", key);
        data->Giornale.setDate("DATA", QDate(2026, 12, 1));
        data->Giornale.setText("TIPO", "C");
        data->Giornale.post();
    }
    int count(const QString& table) {
        data->Query1.clear();
        data->Query1.add("select count(*) from " + table);
        data->Query1.open();
        const int n = int(data->Query1.number(0));
        data->Query1.close();
        return n;
    }

    QTemporaryDir dir;
    std::unique_ptr<TData1> data;
};

TEST_F(DataModuleTest, CalculatedFieldsOfStockAndJournal) {
    struct Case {
        const char* key;
        const char* barcode;
        const char* number;
        const char* name;
    };
    const Case cases[] = {
        {"977111111100100042", "9771111111001", "00042", "Zeta Moto"},
        {"977111111100112", "9771111111001", "12", "Zeta Moto"},
        {"9771111111001", "9771111111001", "", "Zeta Moto"},
        {"12345670", "12345670", "", "Beta Enigmi"},
        {"977999999900100001", "9779999999001", "00001", ""},  // magazine missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(data->Giacenza.findKey(QString::fromLatin1(c.key)));
        EXPECT_EQ(data->Giacenza.text("BARCODE"), QLatin1String(c.barcode));
        EXPECT_EQ(data->Giacenza.text("NUMERO"), QLatin1String(c.number));
        EXPECT_EQ(data->Giacenza.text("NOME"), QString::fromUtf8(c.name));
    }
    data->Giornale.first();
    EXPECT_EQ(data->Giornale.text("NOME"), QStringLiteral("Zeta Moto"));
    EXPECT_EQ(data->Giornale.text("NUMERO"), QStringLiteral("00042"));

    // While the look-up datasets are closed, names stay empty.
    data->Apporiviste.close();
    ASSERT_TRUE(data->Giacenza.findKey(QStringLiteral("12345670")));
    EXPECT_EQ(data->Giacenza.text("NOME"), QString());
    EXPECT_EQ(data->Giacenza.text("BARCODE"), QStringLiteral("12345670"));
}

TEST_F(DataModuleTest, APostIsInTheFileWhenItReturns) {
    addMagazine("9773333333003", "Nuova Rivista");
    // Read the file as another program would, while the tables stay open.
    QFile file(archive::tablePath(dir.path(), archive::riviste3()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("9773333333003Nuova Rivista"));
}

TEST_F(DataModuleTest, ClosingPostsAPendingEdit) {
    data->Riviste.setIndex("BARCODE");
    ASSERT_TRUE(data->Riviste.findKey(QStringLiteral("12345670")));
    data->Riviste.edit();
    data->Riviste.setText("NOME", QStringLiteral("Beta Enigmistica"));
    data->closeTables();
    EXPECT_FALSE(data->mainTablesOpen());

    TData1 again(dir.path());
    again.openTables();
    again.Riviste.setIndex("BARCODE");
    ASSERT_TRUE(again.Riviste.findKey(QStringLiteral("12345670")));
    EXPECT_EQ(again.Riviste.text("NOME"), QStringLiteral("Beta Enigmistica"));
    // An append that was never filled in is not kept.
    again.Riviste.append();
    const int before = again.Riviste.recordCount();
    again.closeTables();
    TData1 third(dir.path());
    third.openTables();
    EXPECT_EQ(third.Riviste.recordCount(), before);
}

TEST_F(DataModuleTest, CascadeDeleteWarnsAsksAndDeletesStockAndJournal) {
    ScriptedPrompts script;
    script.expectWarning(TData1::cascadeWarningText())
        .expectQuestion(QStringLiteral("   Confermi la cancellazione della rivista \"Zeta Moto\" ?   "),
                        true);
    platform::PromptsScope scope(script);
    data->Riviste.setIndex("BARCODE");
    ASSERT_TRUE(data->Riviste.findKey(QStringLiteral("9771111111001")));
    data->Riviste.deleteRecord();
    EXPECT_TRUE(script.finished()) << script.failures().join('\n').toStdString();
    EXPECT_EQ(count("giacenza3"), 2);  // 12345670 and the orphan stay
    EXPECT_EQ(count("giornale3"), 1);
    EXPECT_EQ(count("riviste3"), 2);
    // The datasets no longer show what SQL deleted.
    EXPECT_FALSE(data->Giacenza.findKey(QStringLiteral("977111111100100042")));
    EXPECT_EQ(data->Giacenza.recordCount(), 2);
    EXPECT_TRUE(TData1::cascadeWarningText().contains(QStringLiteral("!   \n\r   Se si")));
}

TEST_F(DataModuleTest, CascadeDeleteOfAMagazineWithOnlyJournalRecordsAsksOnly) {
    ScriptedPrompts script;
    script.expectQuestion(std::nullopt, true);
    platform::PromptsScope scope(script);
    data->Riviste.setIndex("BARCODE");
    ASSERT_TRUE(data->Riviste.findKey(QStringLiteral("9772222222002")));
    data->Riviste.deleteRecord();
    EXPECT_TRUE(script.finished()) << script.failures().join('\n').toStdString();
    EXPECT_EQ(count("giornale3"), 1);
    EXPECT_EQ(count("riviste3"), 2);
}

TEST_F(DataModuleTest, DeclinedCascadeDeleteChangesNothing) {
    ScriptedPrompts script;
    script.expectWarning(std::nullopt).expectQuestion(std::nullopt, false);
    platform::PromptsScope scope(script);
    data->Riviste.setIndex("BARCODE");
    ASSERT_TRUE(data->Riviste.findKey(QStringLiteral("9771111111001")));
    EXPECT_THROW(data->Riviste.deleteRecord(), platform::Abort);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(count("giacenza3"), 5);
    EXPECT_EQ(count("giornale3"), 2);
    EXPECT_EQ(count("riviste3"), 3);
    EXPECT_EQ(data->Riviste.text("BARCODE"), QStringLiteral("9771111111001"));
}

}  // namespace

namespace {

// Only a run whose tables all opened without an error may pack them over the
// last good backup.
TEST(DataModuleOpening, RecordsWhetherTheTablesOpenedCleanlyInThisRun) {
    QTemporaryDir dir;
    archive::createMissingTables(dir.path());
    TData1 data(dir.path());
    EXPECT_FALSE(data.tablesOpenedCleanly());  // never opened
    data.openTables();
    EXPECT_TRUE(data.tablesOpenedCleanly());
    data.closeTables();

    QFile journal(archive::tablePath(dir.path(), archive::giornale3()));
    ASSERT_TRUE(journal.open(QIODevice::ReadWrite));
    journal.write(QByteArray(32, '\x7f'));
    journal.close();
    EXPECT_THROW(data.openTables(), platform::Error);
    EXPECT_TRUE(data.Riviste.isOpen());
    EXPECT_FALSE(data.tablesOpenedCleanly());
}

}  // namespace
