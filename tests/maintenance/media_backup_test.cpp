#include "maintenance/media_backup.h"

#include "maintenance/backup.h"
#include "maintenance/cabinet.h"
#include "platform/scripted_prompts.h"

#include "support/cabinet_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace maintenance;
using namespace cabinet_test;

namespace {

class MediaBackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(program()));
        ASSERT_TRUE(QDir().mkpath(media()));
        for (const char* name :
             {"Riviste3.DBF", "Riviste3.MDX", "Giacenza3.DBF", "Giornale3.DBF", "Report1.frf"})
            writeFile(inProgram(name), QByteArray("original ") + name);
        writeFile(inProgram("tasmerocfg.ini"), "[Tasmero]\r\nCodice_Text=anna\r\n");
    }

    QString program() const { return root_.filePath(QStringLiteral("program")); }
    QString media() const { return root_.filePath(QStringLiteral("stick")); }
    QString inProgram(const QString& name) const { return QDir(program()).filePath(name); }
    QString inMedia(const QString& name) const { return QDir(media()).filePath(name); }

    // Closing and reopening the tables, as the procedures call them.
    ArchiveTables tables() {
        return {[this] { calls_ << QStringLiteral("close"); },
                [this] { calls_ << QStringLiteral("open"); }};
    }

    void backUp(const QString& mediaFolder, const QString& outcome) {
        platform::ScriptedPrompts prompts;
        prompts.expectWarning(insertBlankMediaText(mediaFolder)).expectWarning(outcome);
        platform::PromptsScope scope(prompts);
        backupToMedia(program(), mediaFolder, tables());
        EXPECT_TRUE(prompts.finished()) << prompts.failures().join(u'\n').toStdString();
    }

    void restore(const QStringList& warnings) {
        platform::ScriptedPrompts prompts;
        prompts.expectWarning(insertBackupMediaText(media()));
        for (const QString& text : warnings) prompts.expectWarning(text);
        platform::PromptsScope scope(prompts);
        restoreFromMedia(program(), media(), tables());
        EXPECT_TRUE(prompts.finished()) << prompts.failures().join(u'\n').toStdString();
    }

    // Leaves a good cabinet of the current files on the media, then changes
    // the files so that a restore shows.
    void backUpThenChange() {
        backUp(media(), kTransferDone);
        writeFile(inProgram("Riviste3.DBF"), "changed since");
        writeFile(inProgram("Report1.frf"), "template changed since");
        calls_.clear();
    }

    QTemporaryDir root_;
    QStringList calls_;
};

TEST_F(MediaBackupTest, BackupRenewsTheLocalCabinetAndPutsAnIdenticalCopyOnTheMedia) {
    backUp(media(), kTransferDone);
    EXPECT_EQ(calls_, QStringList({"close", "open"}));
    ASSERT_TRUE(QFileInfo::exists(inMedia(kBackupFileName)));
    EXPECT_EQ(readFile(inMedia(kBackupFileName)), readFile(inProgram(kBackupFileName)));
    EXPECT_EQ(entriesOf(media()), QStringList({kBackupFileName}));  // nothing left aside
    QStringList names;
    for (const CabinetEntry& e : listCabinet(inMedia(kBackupFileName))) names << e.name;
    names.sort();
    EXPECT_EQ(names, QStringList({"Giacenza3.DBF", "Giornale3.DBF", "Report1.frf", "Riviste3.DBF",
                                  "Riviste3.MDX"}));
}

TEST_F(MediaBackupTest, BackupWithoutUsableMediaStillRenewsTheLocalCabinet) {
    // No folder at all, and a "folder" that is a file (no medium can be written).
    writeFile(root_.filePath("not-a-folder"), "x");
    for (const QString& where : {root_.filePath("missing"), root_.filePath("not-a-folder")}) {
        QFile::remove(inProgram(kBackupFileName));
        calls_.clear();
        backUp(where, kTransferFailed);
        EXPECT_EQ(calls_, QStringList({"close", "open"}));
        EXPECT_TRUE(QFileInfo::exists(inProgram(kBackupFileName)));
    }
}

TEST_F(MediaBackupTest, FailedCopyLeavesTheEarlierCopyOnTheMediaWhole) {
    writeFile(inMedia(kBackupFileName), "the earlier copy");
    // A copy that cannot be written: its temporary name is taken by a folder.
    QDir().mkpath(inMedia(".backup.cab.partial"));
    backUp(media(), kTransferFailed);
    EXPECT_EQ(readFile(inMedia(kBackupFileName)), "the earlier copy");
}

TEST_F(MediaBackupTest, WriteProtectedMediaLeavesTheEarlierCopyWhole) {
    writeFile(inMedia(kBackupFileName), "the earlier copy");
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    QFile::setPermissions(media(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    backUp(media(), kTransferFailed);
    QFile::setPermissions(media(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(readFile(inMedia(kBackupFileName)), "the earlier copy");
    EXPECT_EQ(entriesOf(media()), QStringList({kBackupFileName}));
}

TEST_F(MediaBackupTest, BackupReplacesAReadOnlyCopyOnTheMedia) {
    writeFile(inMedia(kBackupFileName), "the earlier copy");
    QFile::setPermissions(inMedia(kBackupFileName), QFileDevice::ReadOwner);
    backUp(media(), kTransferDone);
    EXPECT_EQ(readFile(inMedia(kBackupFileName)), readFile(inProgram(kBackupFileName)));
}

TEST_F(MediaBackupTest, RestoreBringsBackTablesAndTemplatesAndLeavesTheSettingsAlone) {
    backUpThenChange();
    writeFile(inProgram("tasmerocfg.ini"), "[Tasmero]\r\nCodice_Text=bruno\r\n");
    QFile::remove(inProgram(kBackupFileName));
    QFile::setPermissions(inProgram("Riviste3.DBF"), QFileDevice::ReadOwner);
    restore({kRestoreDone});
    EXPECT_EQ(calls_, QStringList({"close", "open"}));
    EXPECT_EQ(readFile(inProgram("Riviste3.DBF")), "original Riviste3.DBF");
    EXPECT_EQ(readFile(inProgram("Report1.frf")), "original Report1.frf");
    EXPECT_EQ(readFile(inProgram("tasmerocfg.ini")), "[Tasmero]\r\nCodice_Text=bruno\r\n");
    EXPECT_TRUE(QFileInfo::exists(inProgram(kBackupFileName)));
}

TEST_F(MediaBackupTest, RestoreFromReadOnlyMediaCabinet) {
    backUpThenChange();
    QFile::setPermissions(inMedia(kBackupFileName), QFileDevice::ReadOwner);
    restore({kRestoreDone});
    EXPECT_EQ(readFile(inProgram("Riviste3.DBF")), "original Riviste3.DBF");
}

TEST_F(MediaBackupTest, EmptyMediaFallsBackToTheLocalCabinet) {
    backUpThenChange();
    QFile::remove(inMedia(kBackupFileName));
    restore({mediaCabinetMissingText(media(), program()), kRestoreDone});
    EXPECT_EQ(readFile(inProgram("Riviste3.DBF")), "original Riviste3.DBF");
}

TEST_F(MediaBackupTest, NeitherCabinetChangesNothing) {
    restore({mediaCabinetMissingText(media(), program())});
    EXPECT_EQ(calls_, QStringList({"close", "open"}));
    EXPECT_EQ(readFile(inProgram("Riviste3.DBF")), "original Riviste3.DBF");
    EXPECT_FALSE(QFileInfo::exists(inProgram(kBackupFileName)));
}

TEST_F(MediaBackupTest, DamagedMediaCabinetNeverReplacesTheGoodLocalOne) {
    backUpThenChange();
    const QByteArray good = readFile(inProgram(kBackupFileName));
    const QList<QByteArray> damaged = {
        good.left(good.size() / 2),                                              // torn copy
        QByteArray(good).replace(good.size() - 40, 20, QByteArray(20, '\x5a')),  // bad block
        QByteArray("MSCF and nothing more"),
        QByteArray(),
    };
    for (const QByteArray& bad : damaged) {
        writeFile(inProgram("Riviste3.DBF"), "changed since");
        writeFile(inMedia(kBackupFileName), bad);
        restore({mediaCopyFailedText(program()), kRestoreDone});
        EXPECT_EQ(readFile(inProgram(kBackupFileName)), good);
        EXPECT_EQ(readFile(inProgram("Riviste3.DBF")), "original Riviste3.DBF");
        EXPECT_FALSE(QFileInfo::exists(inProgram(".backup.cab.partial")));
    }
}

TEST_F(MediaBackupTest, DamagedLocalCabinetRaisesWithTheTablesLeftClosed) {
    writeFile(inProgram(kBackupFileName), "not a cabinet");
    platform::ScriptedPrompts prompts;
    prompts.expectWarning(insertBackupMediaText(media()))
        .expectWarning(mediaCabinetMissingText(media(), program()));
    platform::PromptsScope scope(prompts);
    EXPECT_THROW(restoreFromMedia(program(), media(), tables()), CabinetError);
    EXPECT_EQ(calls_, QStringList({"close"}));
    EXPECT_EQ(readFile(inProgram("Riviste3.DBF")), "original Riviste3.DBF");
}

TEST(MediaFolder, FirstMountedVolumeAndTheStoredChoice) {
    QTemporaryDir root;
    const QString media = root.filePath("media/anna");
    const QString run = root.filePath("run/media/anna");
    EXPECT_EQ(firstVolumeIn({media, run}), QString());
    QDir().mkpath(run + "/STICK");
    EXPECT_EQ(firstVolumeIn({media, run}), run + "/STICK");
    QDir().mkpath(media + "/ZETA");
    QDir().mkpath(media + "/ALFA");
    EXPECT_EQ(firstVolumeIn({media, run}), media + "/ALFA");

    const MediaFolderSetting setting(root.filePath("config/TasmeroBackup.ini"));
    EXPECT_EQ(setting.read(), QString());
    setting.write(QStringLiteral("/srv/copie negozio"));
    EXPECT_EQ(setting.read(), QStringLiteral("/srv/copie negozio"));
}

TEST(MediaMessages, NameTheChosenFolderInPlaceOfTheDrive) {
    EXPECT_EQ(insertBlankMediaText("/media/anna/STICK"),
              "   Inserire un dischetto vuoto e formattato nel drive /media/anna/STICK   ");
    EXPECT_EQ(insertBackupMediaText("/media/anna/STICK"),
              "   Inserire il dischetto con il backup nel floppy /media/anna/STICK   ");
    EXPECT_EQ(mediaCabinetMissingText("/media/anna/STICK", "/srv/tasmero"),
              "   File in /media/anna/STICK/ non trovato. Utilizzo, se c'è, il file   \r\n"
              "   in /srv/tasmero/   ");
}

}  // namespace
