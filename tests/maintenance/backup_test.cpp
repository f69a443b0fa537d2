#include "maintenance/backup.h"
#include "maintenance/cabinet.h"

#include "support/cabinet_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <filesystem>

#include <gtest/gtest.h>
#include <functional>
#include <map>

using maintenance::CabinetEntry;
using maintenance::CabinetError;
using maintenance::extractAll;
using maintenance::kBackupFileName;
using maintenance::listCabinet;
using maintenance::makeShutdownBackup;
using maintenance::restoreBackup;
using namespace cabinet_test;

namespace {

class BackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"Riviste3.DBF", "Riviste3.MDX", "Giacenza3.DBF", "Giacenza3.MDX",
                                 "Giornale3.DBF", "Giornale3.MDX", "Report1.frf", "Report2.FRF",
                                 "tasmerocfg.ini", "Tasmero.ini", "notes.txt"}) {
            writeFile(file(name), QByteArray("original ") + name);
        }
        writeFile(file("old/Riviste.DBF"), "version-2 table in a subfolder");
    }

    QString folder() const { return dir_.path(); }
    QString file(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    QString cabinet() const { return file(kBackupFileName); }

    QStringList stored() const {
        QStringList names;
        for (const CabinetEntry& entry : listCabinet(cabinet())) names << entry.name;
        return names;
    }

    QTemporaryDir dir_;
};

TEST_F(BackupTest, ShutdownBackupHoldsExactlyTheArchiveAndTemplateFilesOfTheFolder) {
    writeFile(file("Extra.Dbf"), "another table");
    const maintenance::BackupResult result = makeShutdownBackup(folder());
    EXPECT_EQ(result.cabinetPath, cabinet());
    EXPECT_EQ(result.files, stored());

    QStringList names = stored();
    // Tables first, then indexes, then templates.
    auto kind = [](const QString& name) { return name.section('.', -1).toLower(); };
    QStringList kinds;
    for (const QString& name : names) {
        if (kinds.isEmpty() || kinds.last() != kind(name)) kinds << kind(name);
    }
    EXPECT_EQ(kinds, (QStringList{"dbf", "mdx", "frf"}));
    names.sort();
    EXPECT_EQ(names, (QStringList{"Extra.Dbf", "Giacenza3.DBF", "Giacenza3.MDX", "Giornale3.DBF",
                                  "Giornale3.MDX", "Report1.frf", "Report2.FRF", "Riviste3.DBF",
                                  "Riviste3.MDX"}));
    EXPECT_FALSE(QFileInfo::exists(cabinet() + ".tmp"));
}

TEST_F(BackupTest, FailedBackupLeavesThePreviousOneUntouchedAndSaysSo) {
    makeShutdownBackup(folder());
    const QByteArray previous = readFile(cabinet());
    writeFile(file("Giornale3.DBF"), "newer journal");

    struct Case {
        const char* what;
        std::function<void()> breakIt;
        std::function<void()> repair;
        const char* message;  // start of the error text
    };
    const Case cases[] = {
        {"a file that cannot be read",
         // Reading this file fails with an I/O error, even for the superuser.
         [&] { QFile::link("/proc/self/mem", file("Broken.dbf")); },
         [&] { QFile::remove(file("Broken.dbf")); },
         "Failure reading file to be stored in cabinet [0x0002].\n"},
        {"no room for the new cabinet", [&] { writeFile(file("backup.cab.tmp/blocker"), "x"); },
         [&] { QDir(file("backup.cab.tmp")).removeRecursively(); },
         "Could not create cabinet file [0x0006].\n"},
        {"more data than a cabinet holds",
         [&] {
             QFile big(file("Huge.dbf"));
             ASSERT_TRUE(big.open(QIODevice::WriteOnly));
             ASSERT_TRUE(big.resize(qint64(3) << 30));  // sparse, takes no disk
         },
         [&] { QFile::remove(file("Huge.dbf")); },
         "Data-size or file-count exceeded CAB format limits [0x0009]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.breakIt();
        try {
            makeShutdownBackup(folder());
            ADD_FAILURE() << "backup made";
        } catch (const CabinetError& error) {
            EXPECT_TRUE(error.message().startsWith(c.message)) << error.message().toStdString();
            EXPECT_TRUE(error.message().endsWith("\n" + maintenance::kPreviousBackupKept))
                << error.message().toStdString();
        }
        EXPECT_TRUE(readFile(cabinet()) == previous);
        c.repair();
        EXPECT_FALSE(QFileInfo::exists(cabinet() + ".tmp"));
    }

    // A folder without archives gives no backup rather than an empty one.
    QTemporaryDir empty;
    QFile::copy(cabinet(), QDir(empty.path()).filePath(kBackupFileName));
    writeFile(QDir(empty.path()).filePath("tasmerocfg.ini"), "settings");
    try {
        makeShutdownBackup(empty.path());
        ADD_FAILURE() << "backup made";
    } catch (const CabinetError& error) {
        EXPECT_EQ(error.message(),
                  "No files to store in cabinet [0x000A]\n" + maintenance::kPreviousBackupKept);
    }
    EXPECT_TRUE(readFile(QDir(empty.path()).filePath(kBackupFileName)) == previous);

    // Without an earlier backup the message says there is none.
    QFile::remove(cabinet());
    QFile::link("/proc/self/mem", file("Broken.dbf"));
    try {
        makeShutdownBackup(folder());
        ADD_FAILURE() << "backup made";
    } catch (const CabinetError& error) {
        EXPECT_TRUE(error.message().endsWith("\n" + maintenance::kNoBackupKept));
    }
    EXPECT_FALSE(QFileInfo::exists(cabinet()));
}

TEST_F(BackupTest, RecoveryBringsBackTheArchivesOfTheLastBackupAndKeepsTheSettings) {
    makeShutdownBackup(folder());
    writeFile(file("Riviste3.DBF"), "changed after the backup");
    QFile::remove(file("Report1.frf"));
    QFile::setPermissions(file("Giornale3.DBF"), QFileDevice::ReadOwner);
    writeFile(file("tasmerocfg.ini"), "password changed after the backup");

    QStringList restored = restoreBackup(folder());
    restored.sort();
    EXPECT_EQ(restored,
              (QStringList{"Giacenza3.DBF", "Giacenza3.MDX", "Giornale3.DBF", "Giornale3.MDX",
                           "Report1.frf", "Report2.FRF", "Riviste3.DBF", "Riviste3.MDX"}));
    EXPECT_EQ(readFile(file("Riviste3.DBF")), "original Riviste3.DBF");
    EXPECT_EQ(readFile(file("Report1.frf")), "original Report1.frf");
    EXPECT_EQ(readFile(file("Giornale3.DBF")), "original Giornale3.DBF");
    EXPECT_EQ(readFile(file("tasmerocfg.ini")), "password changed after the backup");
    EXPECT_EQ(readFile(file("old/Riviste.DBF")), "version-2 table in a subfolder");

    // A cabinet that happens to hold a settings file does not bring it back.
    maintenance::CabinetWriter writer;
    writer.create(cabinet());
    writer.addFiles(folder(), "*.ini");
    writer.addFiles(folder(), "Riviste3.DBF");
    writer.close();
    writeFile(file("tasmerocfg.ini"), "current settings");
    EXPECT_EQ(restoreBackup(folder()), QStringList{"Riviste3.DBF"});
    EXPECT_EQ(readFile(file("tasmerocfg.ini")), "current settings");
}

TEST_F(BackupTest, RecoveryWithoutABackupOrFromADamagedOneChangesNothing) {
    const QStringList before = entriesOf(folder());
    try {
        restoreBackup(folder());
        ADD_FAILURE() << "restored";
    } catch (const CabinetError& error) {
        EXPECT_TRUE(error.message().startsWith("Cabinet not found [0x0001].\n"));
    }

    makeShutdownBackup(folder());
    QByteArray damaged = readFile(cabinet());
    damaged[damaged.size() - 3] = char(damaged[damaged.size() - 3] ^ 0x0F);
    writeFile(cabinet(), damaged);
    writeFile(file("Riviste3.DBF"), "current table");
    EXPECT_THROW(restoreBackup(folder()), CabinetError);
    EXPECT_EQ(readFile(file("Riviste3.DBF")), "current table");
    QStringList expected = before + QStringList{kBackupFileName};
    expected.sort();
    EXPECT_EQ(entriesOf(folder()), expected);
}

// The folder's files and their contents.
std::map<QString, QByteArray> contentsOf(const QString& folder) {
    std::map<QString, QByteArray> contents;
    for (const QString& name : entriesOf(folder)) {
        contents[name] = readFile(QDir(folder).filePath(name));
    }
    return contents;
}

TEST_F(BackupTest, AFileWhoseNameCannotBeStoredIsLeftOutAndNamedWhileTheTablesArePacked) {
    writeFile(file("Copia\\Riviste3.DBF"), "a copy made by hand");
    writeFile(file("a\tb.frf"), "x");
    const maintenance::BackupResult result = makeShutdownBackup(folder());
    QStringList skipped = result.skipped;
    skipped.sort();
    EXPECT_EQ(skipped, (QStringList{"Copia\\Riviste3.DBF", "a\tb.frf"}));
    for (const char* table : {"Riviste3.DBF", "Giacenza3.DBF", "Giornale3.DBF", "Riviste3.MDX"}) {
        EXPECT_TRUE(stored().contains(table)) << table;
    }
    EXPECT_FALSE(stored().contains("Copia\\Riviste3.DBF"));
    EXPECT_TRUE(maintenance::skippedFilesWarning(result.skipped).contains("Copia\\Riviste3.DBF"));
}

TEST_F(BackupTest, EachBackupKeepsThePreviousCabinetAndTheLastSevenStay) {
    const QDateTime first(QDate(2024, 5, 1), QTime(19, 30, 0));
    QStringList expected;  // history names, oldest first
    std::map<QString, QByteArray> keptContents;
    for (int day = 0; day < 10; ++day) {
        writeFile(file("Giornale3.DBF"), "journal of day " + QByteArray::number(day));
        const bool had = QFileInfo::exists(cabinet());
        QByteArray previous;
        if (had) {
            setModified(cabinet(), first.addDays(day - 1));
            previous = readFile(cabinet());
        }
        const maintenance::BackupResult result = makeShutdownBackup(folder());
        if (had) {
            const QString name =
                "backup-" + first.addDays(day - 1).toString("yyyyMMdd-HHmmss") + ".cab";
            EXPECT_EQ(result.previous, file(name));
            expected << name;
            keptContents[name] = previous;
        } else {
            EXPECT_TRUE(result.previous.isEmpty());
        }
    }
    expected = expected.mid(expected.size() - maintenance::kBackupHistory);
    QStringList found = QDir(folder()).entryList({"backup-*.cab"}, QDir::Files, QDir::Name);
    EXPECT_EQ(found, expected);
    for (const QString& name : found) {
        EXPECT_TRUE(readFile(file(name)) == keptContents[name]) << name.toStdString();
    }
    // The newest kept one is the day before's; backup.cab the last day's.
    QTemporaryDir out;
    extractAll(file(expected.last()), out.path());
    EXPECT_EQ(readFile(QDir(out.path()).filePath("Giornale3.DBF")), "journal of day 8");
    QTemporaryDir now;
    extractAll(cabinet(), now.path());
    EXPECT_EQ(readFile(QDir(now.path()).filePath("Giornale3.DBF")), "journal of day 9");

    // A backup that fails keeps no second name of the cabinet it left alone.
    QFile::link("/proc/self/mem", file("Broken.dbf"));
    EXPECT_THROW(makeShutdownBackup(folder()), CabinetError);
    EXPECT_EQ(QDir(folder()).entryList({"backup-*.cab"}, QDir::Files, QDir::Name), expected);
}

TEST_F(BackupTest, RecoveryThatFailsPartWayPutsEveryFileBack) {
    makeShutdownBackup(folder());
    for (const char* name : {"Riviste3.DBF", "Giacenza3.MDX", "Report2.FRF"}) {
        writeFile(file(name), QByteArray("current ") + name);
    }
    QFile::remove(file("Report1.frf"));  // one the recovery would bring back
    const std::map<QString, QByteArray> before = contentsOf(folder());

    // Seven current files go aside, then eight come in: fail at each step.
    for (int failAt : {1, 4, 7, 8, 11, 15}) {
        SCOPED_TRACE(failAt);
        int moves = 0;
        const maintenance::FileMove previous =
            maintenance::setFileMove([&](const QString& from, const QString& to) {
                if (++moves == failAt) return std::make_error_code(std::errc::io_error);
                std::error_code code;
                std::filesystem::rename(QFile::encodeName(from).toStdString(),
                                        QFile::encodeName(to).toStdString(), code);
                return code;
            });
        try {
            restoreBackup(folder());
            ADD_FAILURE() << "restored";
        } catch (const CabinetError& error) {
            EXPECT_TRUE(error.message().startsWith("Failure writing to target file [0x0008].\n"))
                << error.message().toStdString();
        }
        maintenance::setFileMove(previous);
        EXPECT_EQ(moves, failAt);
        EXPECT_TRUE(contentsOf(folder()) == before);
    }
    EXPECT_EQ(restoreBackup(folder()).size(), 8);
    EXPECT_EQ(readFile(file("Riviste3.DBF")), "original Riviste3.DBF");
    EXPECT_EQ(readFile(file("Report1.frf")), "original Report1.frf");
}

TEST_F(BackupTest, ACabinetWithoutArchiveFilesRestoresNothingAndSaysSo) {
    maintenance::CabinetWriter writer;
    writer.create(cabinet());
    writer.addFiles(folder(), "*.txt");
    writer.close();
    const std::map<QString, QByteArray> before = contentsOf(folder());
    try {
        restoreBackup(folder());
        ADD_FAILURE() << "restored";
    } catch (const CabinetError& error) {
        EXPECT_EQ(error.message(), "Cabinet holds none of the files to extract [0x0004]");
    }
    EXPECT_TRUE(contentsOf(folder()) == before);
}

}  // namespace
