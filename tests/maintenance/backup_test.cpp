#include "maintenance/backup.h"
#include "maintenance/cabinet.h"

#include "cabinet_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <functional>

using maintenance::CabinetEntry;
using maintenance::CabinetError;
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
        {"a name no cabinet could give back", [&] { writeFile(file("Copia\\Riviste3.DBF"), "x"); },
         [&] { QFile::remove(file("Copia\\Riviste3.DBF")); },
         "File name \"Copia\\Riviste3.DBF\" has a folder part [0x0001]"},
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

}  // namespace
