// The counter's rules without windows: what a reading means in each window,
// the sale line, and the writes of a stock-in, a sale and a return.
#include "archive/dbase/engine_settings.h"
#include "archive/dbase/table_file.h"
#include "movements/barcode_reading.h"
#include "movements/returns.h"
#include "movements/sale.h"
#include "movements/stock_in.h"
#include "platform/dates.h"
#include "support/counter_archive.h"
#include "support/file_size_limit.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>

#include <memory>

using namespace counter_test;
using movements::CounterWindow;
using movements::Reading;

namespace {

const QString kMag = QStringLiteral("9771234567003");
const QString kIssue = kMag + QStringLiteral("00042");

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(BarcodeReading, ControlCodesDifferPerWindow) {
    struct Case {
        const char* code;
        Reading stockIn, sales, returns;
    } cases[] = {
        {"", Reading::Bad, Reading::Ignore, Reading::Bad},
        {"000", Reading::Close, Reading::Close, Reading::Close},
        {"999", Reading::Bad, Reading::ClearList, Reading::Bad},
        {"888", Reading::Bad, Reading::RegisterSale, Reading::Bad},
        {" 000", Reading::Bad, Reading::Bad, Reading::Bad},
        {"000 ", Reading::Bad, Reading::Bad, Reading::Bad},
        {"0000", Reading::Bad, Reading::Bad, Reading::Bad},
        {"111", Reading::Bad, Reading::Bad, Reading::Bad},
        {"ABCDEFGH", Reading::LookUp, Reading::LookUp, Reading::LookUp},
    };
    for (const Case& c : cases) {
        const QString code = QString::fromLatin1(c.code);
        SCOPED_TRACE(c.code);
        EXPECT_EQ(movements::classifyReading(CounterWindow::StockIn, code), c.stockIn);
        EXPECT_EQ(movements::classifyReading(CounterWindow::Sales, code), c.sales);
        EXPECT_EQ(movements::classifyReading(CounterWindow::Returns, code), c.returns);
    }
}

TEST(BarcodeReading, OnlyFourLengthsAreIssueKeys) {
    for (int length = 0; length <= 19; ++length) {
        SCOPED_TRACE(length);
        const QString code(length, QLatin1Char('7'));
        const bool key = length == 8 || length == 13 || length == 15 || length == 18;
        const Reading expected = key ? Reading::LookUp : Reading::Bad;
        EXPECT_EQ(movements::classifyReading(CounterWindow::Returns, code), expected);
        EXPECT_EQ(movements::classifyReading(CounterWindow::Sales, code),
                  length == 0 ? Reading::Ignore : expected);
        // Only the stock-in window asks before taking a code without add-on.
        EXPECT_EQ(movements::classifyReading(CounterWindow::StockIn, code),
                  length == 13 ? Reading::Confirm : expected);
    }
}

TEST(BarcodeReading, ConfirmationTextKeepsItsBlanksAndLineBreak) {
    EXPECT_EQ(movements::confirmThirteenText(),
              QStringLiteral("   ATTENZIONE!!! Sicuro di aver letto bene il codice?   \n\r"
                             "   E' lungo solo 13 caratteri!   "));
}

TEST(SaleLine, MarkerForStockAtZeroOrBelowCutToThirty) {
    const QString name25 = QString(25, QLatin1Char('N'));
    const QString name30 = QString(30, QLatin1Char('N'));
    struct Case {
        QString name;
        double stock;
        QString line;
    } cases[] = {
        {QStringLiteral("Rivista"), 2, QStringLiteral("Rivista")},
        {QStringLiteral("Rivista"), 1, QStringLiteral("Rivista")},
        {QStringLiteral("Rivista"), 0, QStringLiteral("Rivista GIAC<0")},
        {QStringLiteral("Rivista"), -3, QStringLiteral("Rivista GIAC<0")},
        {name25, 0, name25 + QStringLiteral(" GIAC")},
        {name30, 0, name30},
        {name30, 5, name30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        EXPECT_EQ(movements::saleLineName(c.name, c.stock), c.line);
    }
}

class CounterRules : public ::testing::Test {
  protected:
    void SetUp() override { platform::setToday(QDate(2024, 3, 15)); }
    void TearDown() override { platform::setToday(QDate()); }

    movements::StockInEntry entry(double quantity, const QString& periodicity) {
        movements::StockInEntry e;
        e.code = kIssue;
        e.date = QDate(2024, 3, 15);
        e.quantity = quantity;
        e.price = 3.5;
        e.cost = 2.45;
        e.periodicity = periodicity;
        return e;
    }
    CounterArchive archive;
};

TEST_F(CounterRules, FirstDeliveryCreatesTheIssueAndTheSecondAddsToIt) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("M"), {}});
    ASSERT_EQ(movements::registerStockIn(archive.data(), entry(10, QStringLiteral("M"))),
              movements::StockInOutcome::Registered);
    auto second = entry(-3, QStringLiteral("M"));  // a negative quantity is taken as typed
    second.date = QDate(2024, 3, 10);              // an earlier date still overwrites
    ASSERT_EQ(movements::registerStockIn(archive.data(), second),
              movements::StockInOutcome::Registered);

    const OnDisk disk = archive.onDisk();
    ASSERT_EQ(disk.journal.size(), 2u);
    EXPECT_EQ(disk.journal[0].key, kIssue);
    EXPECT_EQ(disk.journal[0].tipo, QStringLiteral("C"));
    EXPECT_EQ(disk.journal[0].quantita, 10);
    EXPECT_EQ(disk.journal[0].prezzo, 3.5);
    EXPECT_EQ(disk.journal[0].acquisto, 2.45);
    EXPECT_EQ(disk.journal[1].quantita, -3);
    ASSERT_EQ(disk.stock.size(), 1u);
    EXPECT_EQ(disk.stock[0].giacenza, 7);
    EXPECT_EQ(disk.stock[0].ucarico, QDate(2024, 3, 10));
    EXPECT_EQ(disk.stock[0].scadenza, QDate(2024, 4, 9));
}

TEST_F(CounterRules, ReturnByDateFollowsThePeriodicityField) {
    struct Case {
        const char* field;
        QDate returnBy;
        const char* stored;
    } cases[] = {
        {"M", QDate(2024, 4, 14), "M"},  {"MM", QDate(2024, 4, 14), "M"},
        {"V", QDate(2099, 12, 31), "V"}, {"", QDate(2024, 5, 14), ""},
        {"m", QDate(2024, 5, 14), "m"},  {"Q", QDate(2024, 3, 16), "Q"},
        {"A", QDate(2024, 5, 14), "A"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        const QString barcode = QStringLiteral("12345%1").arg(n++, 3, 10, QLatin1Char('0'));
        archive.addMagazine({barcode, QStringLiteral("Rivista"), 1, 0.5, QStringLiteral("S"), {}});
        auto e = entry(4, QString::fromLatin1(c.field));
        e.code = barcode;  // an 8-character key is its own magazine barcode
        e.price = 1;
        e.cost = 0.5;
        ASSERT_EQ(movements::registerStockIn(archive.data(), e),
                  movements::StockInOutcome::Registered);
        const OnDisk disk = archive.onDisk();
        EXPECT_EQ(disk.issue(barcode)->scadenza, c.returnBy);
        EXPECT_EQ(disk.magazine(barcode)->periodicit, QString::fromLatin1(c.stored));
    }
}

TEST_F(CounterRules, MagazineRecordIsWrittenOnlyWhenTheWindowDiffers) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
    const QString path = archive::tablePath(archive.folder(), archive::riviste3());
    const QByteArray before = fileBytes(path);
    ASSERT_EQ(movements::registerStockIn(archive.data(), entry(1, QStringLiteral("S"))),
              movements::StockInOutcome::Registered);
    EXPECT_EQ(fileBytes(path), before);

    auto changed = entry(1, QStringLiteral("S"));
    changed.cost = 2.5;  // only the purchase price differs: all three are written
    ASSERT_EQ(movements::registerStockIn(archive.data(), changed),
              movements::StockInOutcome::Registered);
    const OnDisk disk = archive.onDisk();
    EXPECT_EQ(disk.magazine(kMag)->acquisto, 2.5);
    EXPECT_EQ(disk.magazine(kMag)->prezzo, 3.5);
    EXPECT_EQ(disk.magazine(kMag)->periodicit, QStringLiteral("S"));
    EXPECT_EQ(disk.issue(kIssue)->acquisto, 2.5);
}

TEST_F(CounterRules, StockInOfAnUnknownMagazineWritesNothing) {
    EXPECT_EQ(movements::registerStockIn(archive.data(), entry(5, QStringLiteral("M"))),
              movements::StockInOutcome::MagazineMissing);
    const OnDisk disk = archive.onDisk();
    EXPECT_TRUE(disk.journal.empty());
    EXPECT_TRUE(disk.stock.empty());
}

TEST_F(CounterRules, SaleWritesOneCopyPerLineAndEmptiesTheList) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
    archive.addStock({kIssue, 2, 3.2, 2.1, QDate(2024, 3, 1), QDate(2024, 3, 8)});
    movements::SaleList list;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(archive.data().Giacenza.findKey(kIssue));
        list.add(movements::saleLineFor(archive.data().Giacenza));
    }
    EXPECT_EQ(list.lines()[0].nome, QStringLiteral("Panorama"));  // stock as stored: no marker
    EXPECT_DOUBLE_EQ(list.total(), 9.6);
    EXPECT_TRUE(list.registerAll(archive.data()).skipped.empty());
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(list.total(), 0);

    const OnDisk disk = archive.onDisk();
    ASSERT_EQ(disk.journal.size(), 3u);
    for (const Movement& m : disk.journal) {
        EXPECT_EQ(m.tipo, QStringLiteral("S"));
        EXPECT_EQ(m.quantita, -1);
        EXPECT_EQ(m.prezzo, 3.2);
        EXPECT_EQ(m.acquisto, 2.1);
        EXPECT_EQ(m.data, QDate(2024, 3, 15));
    }
    EXPECT_EQ(disk.issue(kIssue)->giacenza, -1);
    EXPECT_EQ(disk.issue(kIssue)->ucarico, QDate(2024, 3, 1));  // only the stock changes
}

TEST_F(CounterRules, SaleLineOfAnIssueNoLongerStockedIsLeftOutAndTheRestRegistered) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
    archive.addStock({kIssue, 5, 3.5, 2.45, {}, {}});
    movements::SaleList list;
    list.add({QStringLiteral("Panorama"), 3.5, kIssue, 2.45});
    list.add({QStringLiteral("Sparita"), 2, QStringLiteral("77777777"), 1});
    list.add({QStringLiteral("Panorama"), 3.5, kIssue, 2.45});
    const movements::SaleOutcome outcome = list.registerAll(archive.data());
    ASSERT_EQ(outcome.skipped.size(), 1u);
    EXPECT_EQ(outcome.skipped[0].barcode, QStringLiteral("77777777"));
    EXPECT_EQ(outcome.registered, 2);
    EXPECT_TRUE(list.isEmpty());
    const OnDisk disk = archive.onDisk();
    EXPECT_EQ(disk.journal.size(), 2u);
    EXPECT_EQ(disk.issue(kIssue)->giacenza, 3);
}

TEST_F(CounterRules, FailedSaleKeepsOnlyTheLinesNotRegisteredSoARetryCountsNoCopyTwice) {
    const QString other = QStringLiteral("12345678");
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
    archive.addMagazine({other, QStringLiteral("Corto"), 1, 0.5, QStringLiteral("S"), {}});
    archive.addStock({kIssue, 5, 3.5, 2.45, {}, {}});
    // One less would need eleven characters: the stock table cannot hold it.
    archive.addStock({other, -999999999, 1, 0.5, {}, {}});
    movements::SaleList list;
    list.add({QStringLiteral("Panorama"), 3.5, kIssue, 2.45});
    list.add({QStringLiteral("Corto"), 1, other, 0.5});
    list.add({QStringLiteral("Panorama"), 3.5, kIssue, 2.45});
    EXPECT_THROW(list.registerAll(archive.data()), platform::Error);
    ASSERT_EQ(list.lines().size(), 2u);
    EXPECT_EQ(list.lines()[0].barcode, other);
    EXPECT_DOUBLE_EQ(list.total(), 8);  // the customer still owes the whole sale
    EXPECT_EQ(archive.data().Giacenza.state(), dbase::Cursor::State::Browse);

    // The stock is put right, and the sale registered again.
    ASSERT_TRUE(archive.data().Giacenza.findKey(other));
    archive.data().Giacenza.edit();
    archive.data().Giacenza.setNumber(QStringLiteral("GIACENZA"), 0);
    archive.data().Giacenza.post();
    EXPECT_TRUE(list.registerAll(archive.data()).skipped.empty());

    const OnDisk disk = archive.onDisk();
    ASSERT_EQ(disk.journal.size(), 3u);
    EXPECT_EQ(disk.journal[0].key, kIssue);
    EXPECT_EQ(disk.journal[1].key, other);
    EXPECT_EQ(disk.journal[2].key, kIssue);
    EXPECT_EQ(disk.issue(kIssue)->giacenza, 3);
    EXPECT_EQ(disk.issue(other)->giacenza, -1);
}

// An after-post handler that raises once, on its n-th call, after the record
// is on disk (as a failing save-changes call would).
void raiseAfterPost(dbase::Cursor& cursor, int n) {
    auto calls = std::make_shared<int>(0);
    cursor.afterPost = [original = cursor.afterPost, calls, n](dbase::Cursor& c) {
        if (original) original(c);
        if (++*calls == n) throw dbase::EngineError(QStringLiteral("Save changes failed"));
    };
}

TEST_F(CounterRules, SaleRetriedAfterAFailedPostCountsEveryCopyOnce) {
    struct Case {
        const char* name;
        bool journal;  // the journal's handler raises, else the stock's
        int call;
    } cases[] = {
        {"journal, first line", true, 1},
        {"journal, second line", true, 2},
        {"stock, first line", false, 1},
        {"stock, third line", false, 3},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString key = kMag + QStringLiteral("%1").arg(++round, 5, 10, QLatin1Char('0'));
        if (round == 1) archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, {}, {}});
        archive.addStock({key, 10, 3.5, 2.45, {}, {}});
        movements::SaleList list;
        for (int i = 0; i < 3; ++i) list.add({QStringLiteral("Panorama"), 3.5, key, 2.45});
        dbase::Cursor& failing = c.journal ? archive.data().Giornale : archive.data().Giacenza;
        const dbase::Cursor::Event handler = failing.afterPost;
        raiseAfterPost(failing, c.call);
        EXPECT_THROW(list.registerAll(archive.data()), dbase::EngineError);
        EXPECT_EQ(list.lines().size(), size_t(3 - c.call));
        EXPECT_EQ(archive.data().Giacenza.state(), dbase::Cursor::State::Browse);
        failing.afterPost = handler;
        EXPECT_EQ(list.registerAll(archive.data()).registered, 3);  // by both attempts

        const OnDisk disk = archive.onDisk();
        int copies = 0;
        for (const Movement& m : disk.journal) copies += m.key == key;
        EXPECT_EQ(copies, 3);
        EXPECT_EQ(disk.issue(key)->giacenza, 7);
    }
}

TEST_F(CounterRules, SaleWhoseStockPostFindsTheTableLockedUndoesItsJournalRecord) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
    archive.addStock({kIssue, 10, 3.5, 2.45, {}, {}});
    movements::SaleList list;
    for (int i = 0; i < 3; ++i) list.add({QStringLiteral("Panorama"), 3.5, kIssue, 2.45});
    const int timeout = dbase::lockTimeoutMs();
    dbase::setLockTimeoutMs(100);
    {
        // Another workstation in the middle of a change to the stock table:
        // the journal record is posted, the stock post gives up waiting.
        dbase::TableFile other(archive::tablePath(archive.folder(), archive::giacenza3()),
                               dbase::TableFile::Access::ReadWrite);
        ASSERT_TRUE(other.tryLock(dbase::kWriteLockOffset, 1, true));
        EXPECT_THROW(list.registerAll(archive.data()), dbase::EngineError);
        EXPECT_EQ(list.lines().size(), 3u);
    }
    dbase::setLockTimeoutMs(timeout);
    // The journal record was written and taken back: one record, deleted.
    EXPECT_EQ(archive.onDisk().journal.size(), 0u);
    EXPECT_EQ(archive.data().Giornale.table().recordCount(), 1u);

    EXPECT_EQ(list.registerAll(archive.data()).registered, 3);
    const OnDisk disk = archive.onDisk();
    EXPECT_EQ(disk.journal.size(), 3u);
    EXPECT_EQ(disk.issue(kIssue)->giacenza, 7);
}

TEST_F(CounterRules, SkippedLinesOfEveryAttemptAreNamedAndTheRestTruthfullyReported) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, {}, {}});
    archive.addStock({kIssue, 5, 3.5, 2.45, {}, {}});
    movements::SaleList list;
    list.add({QStringLiteral("Sparita"), 2, QStringLiteral("77777777"), 1});
    list.add({QStringLiteral("Panorama"), 3.5, kIssue, 2.45});
    list.add({QStringLiteral("Persa"), 1, QStringLiteral("66666666"), 1});
    raiseAfterPost(archive.data().Giacenza, 1);
    // The first attempt leaves out one line, registers the next and fails.
    EXPECT_THROW(list.registerAll(archive.data()), dbase::EngineError);
    archive.data().Giacenza.afterPost = {};
    const movements::SaleOutcome outcome = list.registerAll(archive.data());
    EXPECT_EQ(movements::skippedLinesWarning(outcome),
              QStringLiteral("   Scaricamento impossibile! articolo non caricato:   \n"
                             "   Sparita (77777777)   \n"
                             "   Persa (66666666)   \n"
                             "   Le altre righe sono state registrate.   "));

    list.add({QStringLiteral("Sparita"), 2, QStringLiteral("77777777"), 1});
    EXPECT_EQ(movements::skippedLinesWarning(list.registerAll(archive.data())),
              QStringLiteral("   Scaricamento impossibile! articolo non caricato:   \n"
                             "   Sparita (77777777)   \n"
                             "   Nessuna riga è stata registrata.   "));
    EXPECT_TRUE(movements::skippedLinesWarning(list.registerAll(archive.data())).isEmpty());
    // Emptying the list forgets what earlier attempts left out.
    list.add({QStringLiteral("Sparita"), 2, QStringLiteral("77777777"), 1});
    raiseAfterPost(archive.data().Giacenza, 1);
    list.add({QStringLiteral("Panorama"), 3.5, kIssue, 2.45});
    EXPECT_THROW(list.registerAll(archive.data()), dbase::EngineError);
    list.clear();
    EXPECT_TRUE(list.registerAll(archive.data()).skipped.empty());
}

TEST_F(CounterRules, StockInWhoseStockWriteFailsLeavesNoJournalRecord) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("M"), {}});
    // Enough stock records that the stock table is the largest file: a new
    // one cannot be appended under the limit, while a journal record can.
    for (int i = 0; i < 300; ++i)
        archive.addStock({QStringLiteral("1%1").arg(i, 7, 10, QLatin1Char('0')), 1, 1, 1, {}, {}});
    const qint64 stockSize =
        QFileInfo(archive::tablePath(archive.folder(), archive::giacenza3())).size();
    {
        const test::FileSizeLimit limit{rlim_t(stockSize)};
        EXPECT_THROW(movements::registerStockIn(archive.data(), entry(10, QStringLiteral("M"))),
                     platform::Error);
    }
    EXPECT_EQ(archive.data().Giornale.state(), dbase::Cursor::State::Browse);
    EXPECT_EQ(archive.data().Giacenza.state(), dbase::Cursor::State::Browse);
    OnDisk disk = archive.onDisk();
    EXPECT_TRUE(disk.journal.empty());
    EXPECT_FALSE(disk.issue(kIssue));

    // Registered again once the disk has room: one delivery, recorded once.
    ASSERT_EQ(movements::registerStockIn(archive.data(), entry(10, QStringLiteral("M"))),
              movements::StockInOutcome::Registered);
    disk = archive.onDisk();
    ASSERT_EQ(disk.journal.size(), 1u);
    EXPECT_EQ(disk.issue(kIssue)->giacenza, 10);
}

TEST_F(CounterRules, ReturnTakesTheIssuesPricesAndLowersTheStock) {
    archive.addMagazine({kMag, QStringLiteral("Panorama"), 4, 3, QStringLiteral("S"), {}});
    archive.addStock({kIssue, 7, 3.5, 2.45, QDate(2024, 3, 1), QDate(2024, 3, 8)});
    struct Case {
        double quantity;
        double stockAfter;
    } cases[] = {{7, 0}, {1, -1}, {-2, 1}};
    for (const Case& c : cases) {
        ASSERT_EQ(movements::registerReturn(archive.data(), kIssue, QDate(2024, 3, 20), c.quantity),
                  movements::ReturnOutcome::Registered);
        const OnDisk disk = archive.onDisk();
        const Movement& m = disk.journal.back();
        EXPECT_EQ(m.tipo, QStringLiteral("R"));
        EXPECT_EQ(m.quantita, -c.quantity);
        EXPECT_EQ(m.prezzo, 3.5);
        EXPECT_EQ(m.acquisto, 2.45);
        EXPECT_EQ(m.data, QDate(2024, 3, 20));
        EXPECT_EQ(disk.issue(kIssue)->giacenza, c.stockAfter);
        EXPECT_EQ(disk.issue(kIssue)->ucarico, QDate(2024, 3, 1));
        EXPECT_EQ(disk.issue(kIssue)->scadenza, QDate(2024, 3, 8));
    }
}

TEST_F(CounterRules, ReturnWithoutMagazineWritesNothingWithoutIssueKeepsTheJournalRecord) {
    EXPECT_EQ(movements::registerReturn(archive.data(), kIssue, QDate(2024, 3, 20), 2),
              movements::ReturnOutcome::MagazineMissing);
    EXPECT_TRUE(archive.onDisk().journal.empty());

    archive.addMagazine({kMag, QStringLiteral("Panorama"), 4, 3, QStringLiteral("S"), {}});
    EXPECT_EQ(movements::registerReturn(archive.data(), kIssue, QDate(2024, 3, 20), 2),
              movements::ReturnOutcome::IssueMissing);
    const OnDisk disk = archive.onDisk();
    ASSERT_EQ(disk.journal.size(), 1u);
    EXPECT_EQ(disk.journal[0].quantita, -2);
    EXPECT_EQ(disk.journal[0].prezzo,
              4);  // the magazine's prices: no stock record to take them from
    EXPECT_EQ(disk.journal[0].acquisto, 3);
    EXPECT_TRUE(disk.stock.empty());
}
