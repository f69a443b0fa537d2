// tasmero-admin run as a script runs it: exit codes and files on disk.
#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "maintenance/backup.h"
#include "maintenance/text_export.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct AdminRun {
    int code = -1;
    QString output;
};

AdminRun admin(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(TASMERO_BINARY_DIR "/bin/tasmero-admin"), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

class AdminTest : public ::testing::Test {
  protected:
    void SetUp() override {
        archive::createMissingTables(shop());
        TData1 data(shop());
        data.openTables();
        data.Riviste.append();
        data.Riviste.setText("BARCODE", "9770000000011");
        data.Riviste.setText("NOME", "Uno");
        data.Riviste.post();
        for (int day : {1, 2, 3}) {
            data.Giornale.append();
            data.Giornale.setText("BARCODE2", "977000000001100001");
            data.Giornale.setDate("DATA", QDate(2026, 3, day));
            data.Giornale.setText("TIPO", "S");
            data.Giornale.post();
        }
        data.closeTables();
    }
    QString shop() const { return root.path(); }
    QString at(const QString& name) const { return QDir(shop()).filePath(name); }
    int journalRecords() {
        TData1 data(shop());
        data.openTables();
        const int n = data.Giornale.recordCount();
        data.closeTables();
        return n;
    }

    QTemporaryDir root;
    QTemporaryDir media;
};

TEST_F(AdminTest, EachCommandOnASmallArchive) {
    AdminRun r = admin({shop(), "check"});
    EXPECT_EQ(r.code, 0) << r.output.toStdString();
    EXPECT_TRUE(r.output.contains("giornale3: 3 records, 1 indexes")) << r.output.toStdString();

    r = admin({shop(), "export"});
    EXPECT_EQ(r.code, 0) << r.output.toStdString();
    EXPECT_TRUE(QFileInfo::exists(at(maintenance::kStockExportName)));
    EXPECT_TRUE(QFileInfo::exists(at(maintenance::kMovementExportName)));

    r = admin({shop(), "purge", "--before", "2026-03-02"});
    EXPECT_EQ(r.code, 0) << r.output.toStdString();
    EXPECT_EQ(journalRecords(), 1);

    const QString stick = QDir(media.path()).filePath("nightly/2026-03");
    r = admin({shop(), "backup", stick});
    EXPECT_EQ(r.code, 0) << r.output.toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(stick).filePath(maintenance::kBackupFileName)));

    r = admin({shop(), "rebuild"});
    EXPECT_EQ(r.code, 0) << r.output.toStdString();
    EXPECT_TRUE(r.output.contains("... giacenza3 ... OK"));

    // Back to the backup taken before the rebuild: the purge stays done.
    r = admin({shop(), "restore", stick});
    EXPECT_EQ(r.code, 0) << r.output.toStdString();
    EXPECT_TRUE(r.output.contains("Ripristino effettuato"));
    EXPECT_EQ(journalRecords(), 1);
    EXPECT_EQ(admin({shop(), "check"}).code, 0);
}

TEST_F(AdminTest, RefusalsAndFailuresHaveTheirOwnExitCodes) {
    const struct {
        QStringList arguments;
        int code;
    } cases[] = {
        {{}, 2},
        {{"nowhere-at-all", "check"}, 2},
        {{"SHOP", "frobnicate"}, 2},
        {{"SHOP", "purge"}, 2},
        {{"SHOP", "purge", "--before", "2026-13-01"}, 2},
        {{"SHOP", "backup"}, 2},
        {{"SHOP", "restore", "a", "b"}, 2},
        {{"SHOP", "backup", "/proc/no-such-medium"}, 1},
    };
    for (const auto& c : cases) {
        QStringList arguments = c.arguments;
        arguments.replaceInStrings("SHOP", shop());
        const AdminRun r = admin(arguments);
        EXPECT_EQ(r.code, c.code) << arguments.join(' ').toStdString() << "\n"
                                  << r.output.toStdString();
    }
    EXPECT_EQ(journalRecords(), 3);
}

TEST_F(AdminTest, RefusedWhileTheProgramHoldsTheTables) {
    TData1 program(shop());  // the cash desk, open on the same folder
    program.openTables();
    for (const QStringList& command :
         {QStringList{"rebuild"}, QStringList{"purge", "--before", "2030-01-01"},
          QStringList{"restore", media.path()}}) {
        const AdminRun r = admin(QStringList{shop()} + command);
        EXPECT_EQ(r.code, 3) << command.join(' ').toStdString() << "\n" << r.output.toStdString();
    }
    program.Giornale.refresh();
    EXPECT_EQ(program.Giornale.recordCount(), 3);
    program.closeTables();
}

}  // namespace
