// A purge or an index rebuild killed at any moment: every table opens with
// indexes that agree with it, and what the purge was not asked to delete is
// all there.
#include "archive/archive_files.h"
#include "archive/dbase/cursor.h"
#include "archive/dbase/table.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <random>

namespace {

constexpr int kMovements = 4000;
const QDate kFirstDay(2025, 1, 1);
const QDate kPurgeDay(2025, 1, 1 + kMovements / 100 / 2);  // about half the journal

QString admin() {
    return QStringLiteral(TASMERO_BINARY_DIR "/bin/tasmero-admin");
}

// A journal of kMovements records, a hundred a day, and their stock records.
void buildShop(const QString& folder) {
    archive::createMissingTables(folder);
    auto journal = dbase::Table::open(archive::tablePath(folder, archive::giornale3()));
    auto stock = dbase::Table::open(archive::tablePath(folder, archive::giacenza3()));
    const dbase::DbfLayout& j = journal->layout();
    const dbase::DbfLayout& g = stock->layout();
    QByteArray movements;
    QByteArray issues;
    for (int i = 0; i < kMovements; ++i) {
        const QString key = QStringLiteral("9770000000011%1").arg(i % 400, 5, 10, QLatin1Char('0'));
        QByteArray r = j.blankRecord();
        j.setText(j.fieldIndex(u"BARCODE2"), r, key);
        j.setDate(j.fieldIndex(u"DATA"), r, kFirstDay.addDays(i / 100));
        j.setNumber(j.fieldIndex(u"QUANTITA"), r, -1);
        j.setText(j.fieldIndex(u"TIPO"), r, QStringLiteral("S"));
        movements += r;
        if (i < 400) {
            QByteArray s = g.blankRecord();
            g.setText(g.fieldIndex(u"BARCODE2"), s, key);
            g.setDate(g.fieldIndex(u"UCARICO"), s, kFirstDay.addDays(i % 60));
            g.setNumber(g.fieldIndex(u"GIACENZA"), s, i % 3 - 1);
            issues += s;
        }
    }
    journal->appendRecords(movements);
    stock->appendRecords(issues);
}

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        QFile::remove(QDir(to).filePath(name));
        ASSERT_TRUE(QFile::copy(QDir(from).filePath(name), QDir(to).filePath(name)));
    }
}

// Every tag of every table walked against the records: as many entries as
// live records, in key order, each found again by its own key.
void expectConsistent(const QString& folder) {
    for (const archive::TableSpec* shape :
         {&archive::riviste3(), &archive::giacenza3(), &archive::giornale3()}) {
        SCOPED_TRACE(shape->sqlName.toStdString());
        dbase::Cursor c(archive::tablePath(folder, *shape));
        ASSERT_NO_THROW(c.open());
        const uint32_t live = c.table().liveCount();
        for (const QString& tag : shape->tags) {
            ASSERT_GE(c.table().findTag(tag), 0) << tag.toStdString();
            c.setIndex(tag);
            const int t = c.table().findTag(tag);
            const bool dates = c.table().layout().field(c.table().tagField(t)).type == 'D';
            uint32_t seen = 0;
            QString previousText;
            QDate previousDate;
            for (c.first(); !c.isEmpty() && !c.eof(); c.next()) {
                // Keys in order, read from the records themselves.
                if (dates) {
                    const QDate d = c.date(tag);
                    EXPECT_TRUE(!previousDate.isValid() || previousDate <= d) << tag.toStdString();
                    previousDate = d;
                } else {
                    const QString text = c.text(tag);
                    EXPECT_LE(previousText, text) << tag.toStdString();
                    previousText = text;
                }
                ++seen;
            }
            EXPECT_EQ(seen, live) << tag.toStdString();
        }
    }
}

// Journal records after the purge day, which no purge may touch.
int laterMovements(const QString& folder) {
    dbase::Cursor c(archive::tablePath(folder, archive::giornale3()));
    c.open();
    int n = 0;
    for (c.first(); !c.isEmpty() && !c.eof(); c.next())
        n += c.date(QStringLiteral("DATA")) > kPurgeDay;
    return n;
}

void killAtRandom(const QStringList& command, int runs) {
    QTemporaryDir root;
    const QString pristine = root.filePath(QStringLiteral("pristine"));
    QDir().mkpath(pristine);
    buildShop(pristine);
    const int later = laterMovements(pristine);
    ASSERT_GT(later, 0);

    // How long the whole command takes, so kills fall inside it.
    const QString work = root.filePath(QStringLiteral("work"));
    copyFolder(pristine, work);
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(QProcess::execute(admin(), QStringList{work} + command), 0);
    const qint64 whole = qMax<qint64>(timer.nsecsElapsed() / 1000, 1000);

    std::mt19937 random(20261210);
    std::uniform_int_distribution<qint64> at(0, whole);
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE(run);
        copyFolder(pristine, work);
        QProcess process;
        process.start(admin(), QStringList{work} + command);
        ASSERT_TRUE(process.waitForStarted());
        QThread::usleep(static_cast<unsigned long>(at(random)));
        process.kill();
        process.waitForFinished();
        expectConsistent(work);
        EXPECT_EQ(laterMovements(work), later);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(UtilitiesKilled, PurgeKilledAtRandomLeavesConsistentTables) {
    killAtRandom({QStringLiteral("purge"), QStringLiteral("--before"),
                  kPurgeDay.toString(Qt::ISODate)},
                 100);
}

TEST(UtilitiesKilled, RebuildKilledAtRandomLeavesConsistentTables) {
    killAtRandom({QStringLiteral("rebuild")}, 100);
}

}  // namespace
