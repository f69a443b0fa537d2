// The Utilità page's commands on a small real archive, checked on disk.
#include "maintenance/index_rebuild.h"
#include "maintenance/purge.h"
#include "maintenance/text_export.h"

#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "platform/cp1252.h"
#include "platform/error.h"
#include "platform/program_locale.h"
#include "platform/scripted_prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class UtilitiesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        archive::createMissingTables(dir.path());
        data = std::make_unique<TData1>(dir.path());
        data->openTables();
    }
    void TearDown() override {
        data->closeTables();
        platform::setProgramLocale(QLocale::system());
    }

    void magazine(const QString& barcode, const QString& name, double price,
                  const QString& supplier) {
        data->Riviste.append();
        data->Riviste.setText("BARCODE", barcode);
        data->Riviste.setText("NOME", name);
        data->Riviste.setNumber("PREZZO", price);
        data->Riviste.setText("FORNITORE", supplier);
        data->Riviste.post();
    }
    void stock(const QString& key, double copies, QDate lastIn) {
        data->Giacenza.append();
        data->Giacenza.setText("BARCODE2", key);
        data->Giacenza.setNumber("GIACENZA", copies);
        if (lastIn.isValid()) data->Giacenza.setDate("UCARICO", lastIn);
        data->Giacenza.post();
    }
    void movement(const QString& key, QDate day, const QString& type, double quantity,
                  double price) {
        data->Giornale.append();
        data->Giornale.setText("BARCODE2", key);
        if (day.isValid()) data->Giornale.setDate("DATA", day);
        data->Giornale.setText("TIPO", type);
        data->Giornale.setNumber("QUANTITA", quantity);
        data->Giornale.setNumber("PREZZO", price);
        data->Giornale.post();
    }
    QString file(const QString& name) const { return QDir(dir.path()).filePath(name); }

    QTemporaryDir dir;
    std::unique_ptr<TData1> data;
};

// Rows of a file as Python's csv module reads it (Windows-1252, CR LF).
QList<QStringList> readWithPython(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='cp1252') as f:\n"
                                 "    print(json.dumps(list(csv.reader(f))))\n"),
                  path});
    python.waitForFinished(30000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList values;
        for (const QJsonValue& v : row.toArray()) values << v.toString();
        rows << values;
    }
    return rows;
}

TEST_F(UtilitiesTest, ExportReadsBackInASpreadsheetAsStored) {
    magazine("9770000000011", QStringLiteral("Il \"Giornalino\", è qui"), 2, "A1");
    magazine("9770000000028", QStringLiteral("Auto"), 1.5, "B2");
    magazine("9770000000035", QStringLiteral("Senza giacenza"), 3, "C3");
    stock("977000000001100012", 3, QDate(2026, 3, 2));
    stock("9770000000028", 0, QDate());                 // 13-character key: no issue number
    stock("977999999999900001", 5, QDate(2026, 3, 2));  // magazine missing: left out
    movement("977000000001100012", QDate(2026, 3, 2), "S", -1, 2.5);
    movement("977000000001100012", QDate(2026, 3, 2), "C", 4, 2.5);
    movement("9770000000028", QDate(2026, 3, 1), "R", -2, 1.25);
    movement("977999999999900001", QDate(2026, 3, 1), "C", 1, 1);

    platform::ScriptedPrompts prompts;
    prompts.expectWarning(maintenance::exportDoneText(dir.path()));
    {
        platform::PromptsScope scope(prompts);
        maintenance::BitBtn2Click(data->Database1, dir.path());
    }
    EXPECT_TRUE(prompts.finished());
    EXPECT_TRUE(
        maintenance::exportDoneText(dir.path()).contains(QDir::toNativeSeparators(dir.path())));

    const QList<QStringList> stockRows = readWithPython(file("giacenza.txt"));
    const QList<QStringList> expectedStock = {
        {"RIVISTA", "NUMERO", "FORN.", "PREZZO", "U_CARICO", "GIACENZA"},
        {"Auto", "", "B2", "1,5", "", "0"},
        {QStringLiteral("Il \"Giornalino\", è qui"), "00012", "A1", "2", "02/03/2026", "3"},
    };
    EXPECT_EQ(stockRows, expectedStock);
    const QList<QStringList> movementRows = readWithPython(file("movimenti.txt"));
    const QList<QStringList> expectedMovements = {
        {"DATA", "RIVISTA", "NUMERO", "FORN.", "QUANTITA'", "PREZZO", "TIPO"},
        {"01/03/2026", "Auto", "", "B2", "-2", "1,25", "R"},
        {"02/03/2026", QStringLiteral("Il \"Giornalino\", è qui"), "00012", "A1", "4", "2,5", "C"},
        {"02/03/2026", QStringLiteral("Il \"Giornalino\", è qui"), "00012", "A1", "-1", "2,5", "S"},
    };
    EXPECT_EQ(movementRows, expectedMovements);

    // Bytes as written: CR LF, Windows-1252, a value without a quotation mark
    // exactly as it stands.
    QFile raw(file("giacenza.txt"));
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    EXPECT_TRUE(
        bytes.startsWith("\"RIVISTA\",\"NUMERO\",\"FORN.\",\"PREZZO\",\"U_CARICO\","
                         "\"GIACENZA\"\r\n\"Auto\",\"\",\"B2\",\"1,5\",\"\",\"0\"\r\n"));
    EXPECT_TRUE(bytes.contains("\"Il \"\"Giornalino\"\", \xe8 qui\""));
    EXPECT_FALSE(QFileInfo::exists(file("giacenza.txt") + ".tmp"));
}

TEST_F(UtilitiesTest, FailedExportKeepsThePreviousFileAndShowsNoFinalMessage) {
    magazine("9770000000011", "Uno", 2, "A1");
    stock("977000000001100012", 3, QDate(2026, 3, 2));
    maintenance::exportArchives(data->Database1, dir.path());
    QFile previous(file("giacenza.txt"));
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    const QByteArray before = previous.readAll();
    previous.close();

    magazine("9770000000028", "Due", 1, "B2");
    if (::geteuid() == 0) {
        // The superuser writes anywhere: take the folder away from the
        // second file's rename by putting a folder where it must go.
        QFile::remove(file("movimenti.txt"));
        ASSERT_TRUE(QDir().mkpath(file("movimenti.txt") + "/x"));
    } else {
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    platform::ScriptedPrompts prompts;  // nothing expected
    platform::PromptsScope scope(prompts);
    EXPECT_THROW(maintenance::BitBtn2Click(data->Database1, dir.path()), platform::FileError);
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(prompts.finished());
    if (::geteuid() != 0) {
        QFile after(file("giacenza.txt"));
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), before);
    }
}

}  // namespace

namespace {

// Issue keys left in a cursor, in its physical order.
QStringList keysOf(dbase::Cursor& cursor) {
    QStringList keys;
    cursor.setIndex(QString());
    for (cursor.first(); !cursor.isEmpty() && !cursor.eof(); cursor.next())
        keys << cursor.text(QStringLiteral("BARCODE2")) + "@" +
                    cursor.date(cursor.hasField("DATA") ? "DATA" : "UCARICO").toString(Qt::ISODate);
    // next() stays on the last record with eof set: it was listed already.
    return keys;
}

class PurgeTest : public UtilitiesTest {
  protected:
    void SetUp() override {
        UtilitiesTest::SetUp();
        magazine("9770000000011", "Uno", 2, "A1");
        movement("977000000001100001", QDate(2026, 3, 9), "C", 4, 2);
        movement("977000000001100002", QDate(2026, 3, 10), "S", -1, 2);  // the day itself
        movement("977000000001100003", QDate(2026, 3, 11), "S", -1, 2);
        movement("977000000001100004", QDate(), "S", -1, 2);  // no date: earliest
        stock("977000000001100001", 3, QDate(2026, 3, 1));    // copies left: stays
        stock("977000000001100002", 0, QDate(2026, 3, 10));   // exhausted on the day
        stock("977000000001100003", -2, QDate(2026, 2, 1));   // below zero
        stock("977000000001100004", 0, QDate(2026, 3, 11));   // stocked in after the day
        stock("977000000001100005", 0, QDate());              // never stocked in
    }
    void purge(const QDate& day, std::optional<bool> answer) {
        platform::ScriptedPrompts prompts;
        if (answer) prompts.expectQuestion(maintenance::kPurgeQuestion, *answer);
        if (answer.value_or(false)) prompts.expectWarning(maintenance::kPurgeDone);
        platform::PromptsScope scope(prompts);
        maintenance::Button2Click(data->Giornale, data->Giacenza, day);
        EXPECT_TRUE(prompts.finished()) << prompts.failures().join(u'\n').toStdString();
    }
};

TEST_F(PurgeTest, DeletesUpToAndIncludingTheDayAndOnlyExhaustedStock) {
    purge(QDate(2026, 3, 10), true);
    EXPECT_EQ(keysOf(data->Giornale), QStringList({"977000000001100003@2026-03-11"}));
    EXPECT_EQ(keysOf(data->Giacenza),
              QStringList({"977000000001100001@2026-03-01", "977000000001100004@2026-03-11"}));
    EXPECT_EQ(data->Riviste.recordCount(), 1);

    // Durable and visible to another opening of the tables.
    data->closeTables();
    data->openTables();
    EXPECT_EQ(data->Giornale.recordCount(), 1);
    EXPECT_EQ(data->Giacenza.recordCount(), 2);
}

TEST_F(PurgeTest, NoAnswerOrNoDateChangesNothing) {
    purge(QDate(2026, 3, 10), false);
    purge(QDate(), std::nullopt);  // asks nothing
    EXPECT_EQ(data->Giornale.recordCount(), 4);
    EXPECT_EQ(data->Giacenza.recordCount(), 5);
}

TEST_F(PurgeTest, EverythingGoesOnALateDay) {
    purge(QDate(2030, 1, 1), true);
    EXPECT_TRUE(keysOf(data->Giornale).isEmpty());
    EXPECT_EQ(keysOf(data->Giacenza), QStringList({"977000000001100001@2026-03-01"}));
}

}  // namespace

namespace {

TEST_F(PurgeTest, RebuildAfterAPurgeDropsDeletedRecordsAndKeepsExactlyFiveIndexes) {
    purge(QDate(2026, 3, 10), true);
    QStringList captions;
    platform::ScriptedPrompts prompts;
    prompts.expectWarning(maintenance::kRebuildDone);
    {
        platform::PromptsScope scope(prompts);
        maintenance::BitBtn3Click(dir.path(),
                                  {[this] { data->closeTables(); }, [this] { data->openTables(); }},
                                  [&captions](const QString& caption) { captions << caption; });
    }
    EXPECT_TRUE(prompts.finished()) << prompts.failures().join(u'\n').toStdString();
    EXPECT_EQ(captions,
              QStringList({"... riviste3", "... riviste3 ... OK", "... giornale3",
                           "... giornale3 ... OK", "... giacenza3", "... giacenza3 ... OK"}));
    ASSERT_TRUE(data->mainTablesOpen());
    EXPECT_EQ(data->Giornale.table().recordCount(), 1u);  // physically gone
    EXPECT_EQ(data->Giacenza.table().recordCount(), 2u);
    EXPECT_EQ(data->Riviste.table().tagCount() + data->Giornale.table().tagCount() +
                  data->Giacenza.table().tagCount(),
              5);
    for (const char* tag : {"BARCODE", "FORNITORE", "NOME"})
        EXPECT_GE(data->Riviste.table().findTag(tag), 0) << tag;
    data->Giornale.setIndex("DATA");
    EXPECT_TRUE(data->Giornale.findKey(QDate(2026, 3, 11)));
}

TEST_F(PurgeTest, RebuildRefusesATableHeldOpenAndTouchesNothing) {
    purge(QDate(2026, 3, 10), true);
    data->closeTables();
    dbase::Cursor holder(archive::tablePath(dir.path(), archive::giacenza3()));
    holder.open();  // another user of the journal's neighbour
    const uint32_t before = holder.table().recordCount();
    platform::ScriptedPrompts prompts;
    platform::PromptsScope scope(prompts);
    EXPECT_THROW(maintenance::rebuildIndexes(dir.path(), {}), platform::Error);
    EXPECT_TRUE(prompts.finished());
    holder.close();
    data->openTables();
    EXPECT_EQ(data->Giornale.table().recordCount(), 4u);  // riviste3 and giornale3 untouched too
    EXPECT_EQ(data->Giacenza.table().recordCount(), before);
}

}  // namespace
