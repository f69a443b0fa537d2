// Two workstations sell the same issue at the same time, in one shared
// folder: each copy sold is one journal record and one copy less in stock,
// whatever the two processes do between reading the stock and writing it.
#include "support/counter_archive.h"

#include <gtest/gtest.h>
#include <QProcess>

using namespace counter_test;

namespace {

const QString kMag = QStringLiteral("9771234567003");
const QString kIssue = kMag + QStringLiteral("00042");

TEST(TwoWorkstations, SellingTheSameIssueLosesNoCopy) {
    constexpr int kCopies = 1000;
    CounterArchive archive;
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
    archive.addStock({kIssue, 5000, 3.5, 2.45, {}, {}});
    // Both workstations run in processes of their own; this one watches.
    archive.data().closeTables();

    QProcess peers[2];
    // One sells copy by copy, the other in sales of seven lines.
    const int linesPerSale[2] = {1, 7};
    for (int i = 0; i < 2; ++i) {
        peers[i].setProgram(QStringLiteral(SALE_PEER));
        peers[i].setArguments(
            {archive.folder(), kIssue, QString::number(kCopies), QString::number(linesPerSale[i])});
        peers[i].setProcessChannelMode(QProcess::MergedChannels);
        peers[i].start();
        ASSERT_TRUE(peers[i].waitForStarted(10000));
    }
    for (QProcess& p : peers) {
        ASSERT_TRUE(p.waitForFinished(600000));
        const QString said = QString::fromUtf8(p.readAll()).trimmed();
        EXPECT_EQ(p.exitCode(), 0) << said.toStdString();
        EXPECT_TRUE(said.startsWith(QStringLiteral("sold 1000"))) << said.toStdString();
    }

    archive.data().openTables();
    const OnDisk disk = archive.onDisk();
    EXPECT_EQ(disk.issue(kIssue)->giacenza, 5000 - 2 * kCopies);
    int sales = 0;
    for (const Movement& m : disk.journal)
        sales += m.key == kIssue && m.tipo == QStringLiteral("S");
    EXPECT_EQ(sales, 2 * kCopies);
    EXPECT_EQ(disk.journal.size(), size_t(2 * kCopies));
}

}  // namespace
