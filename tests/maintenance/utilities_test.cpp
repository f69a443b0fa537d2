// The Utilità page's commands on a small real archive, checked on disk.
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
    stock("9770000000028", 0, QDate());         // 13-character key: no issue number
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
    EXPECT_TRUE(maintenance::exportDoneText(dir.path())
                    .contains(QDir::toNativeSeparators(dir.path())));

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
    EXPECT_TRUE(bytes.startsWith("\"RIVISTA\",\"NUMERO\",\"FORN.\",\"PREZZO\",\"U_CARICO\","
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
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    EXPECT_TRUE(prompts.finished());
    if (::geteuid() != 0) {
        QFile after(file("giacenza.txt"));
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), before);
    }
}

}  // namespace
