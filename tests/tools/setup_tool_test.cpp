#include "archive/archive_files.h"
#include "archive/schema.h"
#include "archive/sql/query.h"
#include "archive/sql/sql_database.h"
#include "maintenance/settings_store.h"
#include "platform/error.h"
#include "setup/demo_archive.h"
#include "setup/installation.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList column(sql::Database& db, const QString& text) {
    sql::Query q(db);
    q.setText(text);
    q.open();
    QStringList out;
    for (q.first(); !q.eof(); q.next()) out << q.value(0).toString();
    return out;
}

TEST(SetupTool, Ean13CheckDigits) {
    // Published codes of periodicals and a book, check digit last.
    for (const char* code : {"9771234567003", "9780306406157", "4006381333931", "9770317847001"})
        EXPECT_EQ(setup::ean13CheckDigit(QString::fromLatin1(code)), code[12] - '0') << code;
}

TEST(SetupTool, ReadyFolderLeavesWhatExistsAlone) {
    QTemporaryDir dir;
    QTemporaryDir templates;
    QFile report(templates.filePath("Report1.frf"));
    ASSERT_TRUE(report.open(QIODevice::WriteOnly));
    report.write("template");
    report.close();

    const setup::InstallationReport first =
        setup::prepareInstallation(dir.path(), templates.path());
    EXPECT_EQ(first.tablesCreated, 3);
    EXPECT_TRUE(first.settingsCreated);
    EXPECT_EQ(first.templatesCopied, QStringList{"Report1.frf"});
    const QByteArray settings = contents(dir.filePath(maintenance::kSettingsFileName));
    EXPECT_TRUE(settings.contains("Codice_Text=admin\r\n"));
    EXPECT_TRUE(
        settings.contains("pwpw_Caption=" + maintenance::kDefaultStoredPassword.toLatin1()));

    const setup::DemoCounts counts = setup::writeDemoArchive(dir.path(), QDate(2026, 6, 30));
    const QByteArray journal = contents(archive::tablePath(dir.path(), archive::giornale3()));
    // A second run, with or without the demo, changes nothing.
    QFile::remove(templates.filePath("Report1.frf"));
    ASSERT_TRUE(QFile::copy(dir.filePath(maintenance::kSettingsFileName),
                            templates.filePath("REPORT1.FRF")));
    const setup::InstallationReport second =
        setup::prepareInstallation(dir.path(), templates.path());
    EXPECT_EQ(second.tablesCreated, 0);
    EXPECT_FALSE(second.settingsCreated);
    EXPECT_TRUE(second.templatesCopied.isEmpty());
    EXPECT_THROW(setup::writeDemoArchive(dir.path(), QDate(2026, 6, 30)), platform::Error);
    EXPECT_EQ(contents(archive::tablePath(dir.path(), archive::giornale3())), journal);
    EXPECT_EQ(contents(dir.filePath("Report1.frf")), QByteArray("template"));
    EXPECT_GT(counts.magazines, 200);
    EXPECT_GT(counts.movements, 20000);
}

// The demo shop adds up: codes of periodicals with valid check digits, issue
// keys with their add-ons, every stock record the sum of its movements, a
// year of movements ending today.
TEST(SetupTool, DemoArchiveIsConsistent) {
    QTemporaryDir dir;
    setup::prepareInstallation(dir.path(), dir.path());
    const QDate today(2026, 6, 30);
    const setup::DemoCounts counts = setup::writeDemoArchive(dir.path(), today);
    sql::Database db(dir.path());

    const QStringList barcodes = column(db, "select barcode from riviste3");
    EXPECT_EQ(barcodes.size(), counts.magazines);
    for (const QString& code : barcodes) {
        ASSERT_TRUE(code.startsWith("977") && code.size() == 13) << code.toStdString();
        EXPECT_EQ(setup::ean13CheckDigit(code), code.back().digitValue()) << code.toStdString();
    }
    EXPECT_EQ(column(db, "select count(*) from giacenza3 where length(barcode2) not in (15, 18)"),
              QStringList{"0"});
    EXPECT_EQ(column(db, "select count(distinct length(barcode2)) from giacenza3"),
              QStringList{"2"});
    EXPECT_EQ(column(db,
                     "select count(*) from giacenza3 where substr(barcode2, 1, 13) not in "
                     "(select barcode from riviste3)"),
              QStringList{"0"});
    EXPECT_EQ(column(db, "select count(distinct barcode2) from giacenza3"),
              QStringList{QString::number(counts.stock)});
    EXPECT_EQ(column(db,
                     "select count(*) from giacenza3 g, (select barcode2, sum(quantita) as n from "
                     "giornale3 group by barcode2) j where j.barcode2 = g.barcode2 and "
                     "g.giacenza = j.n and g.giacenza >= 0"),
              QStringList{QString::number(counts.stock)});
    EXPECT_EQ(column(db, "select count(*) from giornale3"),
              QStringList{QString::number(counts.movements)});
    EXPECT_EQ(column(db, "select count(distinct tipo) from giornale3"), QStringList{"3"});
    sql::Query range(db);
    range.setText("select min(data), max(data) from giornale3");
    range.open();
    EXPECT_GE(range.date(0), today.addYears(-1));
    EXPECT_LE(range.date(1), today);
    range.close();
    // Current issues are on the shelves.
    EXPECT_NE(column(db, "select count(*) from giacenza3 where giacenza > 0"), QStringList{"0"});
    db.releaseTables();
}

}  // namespace
