// The counter windows, each on its own, driven with the keyboard the way the
// operator and the scanner drive them. Every registration is checked on disk.
#include "movements/barcode_reading.h"
#include "movements/stock_in.h"
#include "movements/ui/last_movement_panel.h"
#include "movements/ui/new_magazine_window.h"
#include "movements/ui/number_field.h"
#include "movements/ui/returns_window.h"
#include "movements/ui/sale_window.h"
#include "movements/ui/stock_in_window.h"
#include "platform/dates.h"
#include "platform/program_locale.h"
#include "platform/scripted_prompts.h"
#include "platform/ui/enter_as_tab.h"
#include "shell/application.h"
#include "support/counter_archive.h"
#include "support/modal_driver.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace counter_test;

namespace {

const QString kMag = QStringLiteral("9771234567003");
const QString kIssue = kMag + QStringLiteral("00042");  // EAN-13 with 5-digit add-on
const QDate kToday(2024, 3, 15);

template <typename Window>
std::unique_ptr<Window> openWindow() {
    auto w = std::make_unique<Window>();
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get())) qWarning("window not active");
    return w;
}

// Ends a scan with Tab, or with Enter turned into Tab by the program's rule.
void scanEndedWith(QWidget* field, const QString& code, bool enter) {
    QTest::keyClicks(field, code);
    QTest::keyClick(field, enter ? Qt::Key_Return : Qt::Key_Tab);
}

}  // namespace

class CounterWindowsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        platform::setToday(kToday);
        enterAsTab.switchOn();
    }
    void init() {
        archive = std::make_unique<CounterArchive>();
        archive->addMagazine(
            {kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("M"), {}});
        archive->data().Giornale.last();
        archive->data().Riviste.setIndex(QStringLiteral("BARCODE"));
        // Every box a window shows must be expected by the test.
        prompts = std::make_unique<platform::ScriptedPrompts>();
        promptsScope = std::make_unique<platform::PromptsScope>(*prompts);
    }
    void cleanup() {
        if (prompts) QVERIFY2(prompts->finished(), qPrintable(prompts->failures().join('\n')));
        promptsScope.reset();
        prompts.reset();
        archive.reset();
    }

    // --- stock-in --------------------------------------------------------
    void stockInOfAKnownIssueProposesItsLastPrices_data() {
        QTest::addColumn<bool>("enter");
        QTest::newRow("Tab") << false;
        QTest::newRow("Enter") << true;
    }
    void stockInOfAKnownIssueProposesItsLastPrices() {
        QFETCH(bool, enter);
        // The issue was last delivered at older prices than the magazine's.
        archive->addStock({kIssue, 4, 3.2, 2.1, QDate(2024, 3, 1), QDate(2024, 3, 31)});
        auto w = openWindow<TfrmCarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);

        scanEndedWith(w->Caricobarcode, kIssue, enter);
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
        QCOMPARE(w->Label8->text(), QStringLiteral("Panorama"));
        QCOMPARE(w->CaricoPrezzo->text(), QStringLiteral("3,20"));
        QCOMPARE(w->CaricoAcquisto->text(), QStringLiteral("2,100000"));
        QCOMPARE(w->CaricoPeriodicita->text(), QStringLiteral("M"));
        QCOMPARE(w->Caricobarcode->text(), kIssue);  // kept for the registration

        QTest::keyClicks(w->Caricoquantita, QStringLiteral("6"));
        QTest::keyClick(w->Caricoquantita, enter ? Qt::Key_Return : Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), w->BitBtn1);
        QTest::keyClick(w->BitBtn1, Qt::Key_Return);  // Enter on the button presses it
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        QCOMPARE(w->Label8->text(), movements::kWaitingForReading);
        QVERIFY(w->Caricobarcode->text().isEmpty());
        QVERIFY(w->CaricoPrezzo->text().isEmpty());
        QVERIFY(w->Caricoquantita->text().isEmpty());
        QCOMPARE(w->DateEdit1->date(), kToday);
        QCOMPARE(w->Panel->DBText6->text(), QStringLiteral("C"));
        QCOMPARE(w->Panel->DBText2->text(), QStringLiteral("6"));
        QCOMPARE(w->Panel->DBText3->text(), QStringLiteral("Panorama"));
        QCOMPARE(w->Panel->DBText4->text(), QStringLiteral("00042"));
        QCOMPARE(w->Panel->DBText5->text(), QStringLiteral("3,20"));
        w.reset();

        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));
        QCOMPARE(disk.journal[0].quantita, 6.0);
        QCOMPARE(disk.journal[0].tipo, QStringLiteral("C"));
        QCOMPARE(disk.journal[0].data, kToday);
        QCOMPARE(disk.issue(kIssue)->giacenza, 10.0);
        QCOMPARE(disk.issue(kIssue)->scadenza, QDate(2024, 4, 14));
        QCOMPARE(disk.issue(kIssue)->ucarico, kToday);
        // The older prices go back into the magazine record.
        QCOMPARE(disk.magazine(kMag)->prezzo, 3.2);
        QCOMPARE(disk.magazine(kMag)->acquisto, 2.1);
    }

    void thirteenCharactersAreAskedAboutInTheStockInWindowOnly_data() {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("status");
        QTest::newRow("Si") << true << "Panorama";
        QTest::newRow("No") << false << movements::kBadReading;
    }
    void thirteenCharactersAreAskedAboutInTheStockInWindowOnly() {
        QFETCH(bool, yes);
        QFETCH(QString, status);
        auto w = openWindow<TfrmCarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        prompts->expectQuestion(movements::confirmThirteenText(), yes);
        scan(w->Caricobarcode, kMag);
        QTRY_COMPARE(w->Label8->text(), status);
        QCOMPARE(prompts->pending(), 0);
        if (!yes) {
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
            QVERIFY(w->Caricobarcode->text().isEmpty());
            return;
        }
        // A new issue of a known magazine: the magazine's prices.
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
        QCOMPARE(w->CaricoPrezzo->text(), QStringLiteral("3,50"));
        QCOMPARE(w->CaricoAcquisto->text(), QStringLiteral("2,450000"));
        // Alt+C with a blank quantity registers one copy.
        QTest::keyClick(w->Caricoquantita, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(w->Caricobarcode->text().isEmpty());
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));
        QCOMPARE(disk.journal[0].key, kMag);
        QCOMPARE(disk.issue(kMag)->giacenza, 1.0);
        QVERIFY(!disk.issue(kIssue));
        QCOMPARE(disk.magazines.size(), size_t(1));
    }

    void quantityLimitAndCodeLengthAtRegistration() {
        auto w = openWindow<TfrmCarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        scan(w->Caricobarcode, kIssue);
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
        QTest::keyClicks(w->Caricoquantita, QStringLiteral("10001"));
        QTest::keyClick(w->Caricoquantita, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(w->Caricoquantita->text().isEmpty());  // refused silently
        QCOMPARE(QApplication::focusWidget(), w->Caricoquantita);
        QCOMPARE(w->Caricobarcode->text(), kIssue);
        QTest::keyClicks(w->Caricoquantita, QStringLiteral("10000"));
        QTest::keyClick(w->Caricoquantita, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(w->Caricobarcode->text().isEmpty());

        // A code typed and registered without leaving the field is not read:
        // its length is checked at registration.
        w->Caricobarcode->setFocus();
        QTest::keyClicks(w->Caricobarcode, kIssue + QStringLiteral("9"));
        prompts->expectMessage(QStringLiteral("Errore su codice barcode"));
        QTest::keyClick(w->Caricobarcode, Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(prompts->pending(), 0);
        QTRY_VERIFY(w->Caricobarcode->text().isEmpty());
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));
        QCOMPARE(disk.issue(kIssue)->giacenza, 10000.0);
    }

    void priceFieldsTakeEitherDecimalKeyAndTheDateStaysValid() {
        auto w = openWindow<TfrmCarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        scan(w->Caricobarcode, kIssue);
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
        // Alt+P and Alt+A reach the price fields, which are no tab stops.
        QTest::keyClick(w->Caricoquantita, Qt::Key_P, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), w->CaricoPrezzo);
        w->CaricoPrezzo->selectAll();
        QTest::keyClicks(w->CaricoPrezzo, QStringLiteral("4.2"));
        QCOMPARE(w->CaricoPrezzo->text(), QStringLiteral("4,2"));
        QTest::keyClick(w->CaricoPrezzo, Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), w->CaricoAcquisto);
        w->CaricoAcquisto->selectAll();
        QTest::keyClicks(w->CaricoAcquisto, QStringLiteral("2,9x5"));  // the letter is refused
        QCOMPARE(w->CaricoAcquisto->text(), QStringLiteral("2,95"));
        QTest::keyClick(w->CaricoAcquisto, Qt::Key_T, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), w->CaricoPeriodicita);
        w->CaricoPeriodicita->selectAll();
        QTest::keyClicks(w->CaricoPeriodicita, QStringLiteral("MM"));
        // The date editor cannot be typed into an invalid date.
        QVERIFY(w->DateEdit1->calendarPopup());
        QTest::keyClick(w->CaricoPeriodicita, Qt::Key_D, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), w->DateEdit1);
        QTest::keyClicks(w->DateEdit1, QStringLiteral("99/99/0000"));
        QVERIFY(w->DateEdit1->date().isValid());
        w->DateEdit1->setDate(QDate(2024, 3, 1));
        w->Caricoquantita->setFocus();
        QTest::keyClicks(w->Caricoquantita, QStringLiteral("2"));
        QTest::keyClick(w->Caricoquantita, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(w->Caricobarcode->text().isEmpty());
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal[0].prezzo, 4.2);
        QCOMPARE(disk.journal[0].acquisto, 2.95);
        QCOMPARE(disk.journal[0].data, QDate(2024, 3, 1));
        QCOMPARE(disk.magazine(kMag)->periodicit, QStringLiteral("M"));
        QCOMPARE(disk.issue(kIssue)->scadenza, QDate(2024, 3, 31));
    }

    // The number fields take no more than their columns hold: whatever the
    // operator can type is stored as typed. A minus sign takes the place of
    // an integer digit in a column with decimals.
    void everyNumberTheStockInFieldsTakeIsStored_data() {
        QTest::addColumn<QString>("typed");  // into price, cost and quantity alike
        QTest::addColumn<double>("price");
        QTest::addColumn<double>("cost");
        QTest::addColumn<double>("quantity");
        QTest::newRow("widest") << "1234567890.1234567" << 1234567.12 << 1234567.123456
                                << 123456789.0;
        QTest::newRow("widest negative")
            << "-1234567890.1234567" << -123456.12 << -123456.123456 << -123456789.0;
        QTest::newRow("explicit plus")
            << "+1234567890.1234567" << 1234567.12 << 1234567.123456 << 123456789.0;
        QTest::newRow("negative fraction") << "-.5" << -0.5 << -0.5 << -5.0;
    }
    void everyNumberTheStockInFieldsTakeIsStored() {
        QFETCH(QString, typed);
        QFETCH(double, price);
        QFETCH(double, cost);
        QFETCH(double, quantity);
        auto w = openWindow<TfrmCarico>();
        for (movements::NumberField* field :
             {w->CaricoPrezzo, w->CaricoAcquisto, w->Caricoquantita}) {
            field->clear();
            QTest::keyClicks(field, typed);
        }
        QCOMPARE(w->CaricoPrezzo->value(), price);
        QCOMPARE(w->CaricoAcquisto->value(), cost);
        QCOMPARE(w->Caricoquantita->value(), quantity);
        w.reset();

        movements::registerStockIn(archive->data(),
                                   {kIssue, kToday, quantity, price, cost, QStringLiteral("M")});
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));
        QCOMPARE(disk.journal[0].quantita, quantity);
        QCOMPARE(disk.journal[0].prezzo, price);
        QCOMPARE(disk.journal[0].acquisto, cost);
        QCOMPARE(disk.issue(kIssue)->giacenza, quantity);
        QCOMPARE(disk.issue(kIssue)->prezzo, price);
        QCOMPARE(disk.issue(kIssue)->acquisto, cost);
        QCOMPARE(disk.magazine(kMag)->prezzo, price);
        QCOMPARE(disk.magazine(kMag)->acquisto, cost);
    }

    void unknownMagazineIsCreatedInTheNewMagazineWindow() {
        const QString code = QStringLiteral("977000111222300005");
        auto w = openWindow<TfrmCarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        bool seenWindow = false;
        whenModal(QStringLiteral("frmaddone"), [&seenWindow](QWidget* widget) {
            auto* add = static_cast<Tfrmaddone*>(widget);
            seenWindow = true;
            QCOMPARE(add->windowTitle(), QStringLiteral("Inserimento di una nuova rivista"));
            QTRY_COMPARE(QApplication::focusWidget(), add->EditNOME);
            QCOMPARE(add->EditCODE->text(), QStringLiteral("9770001112223"));
            QCOMPARE(add->EditPERIODO->currentIndex(), -1);
            QTest::keyClicks(add->EditNOME, QStringLiteral("Nuova Rivista"));
            QTest::keyClick(add->EditNOME, Qt::Key_Tab);
            QTest::keyClicks(add->EditPREZZO, QStringLiteral("2.5"));
            QCOMPARE(add->EditPREZZO->text(), QStringLiteral("2,5"));
            QTest::keyClick(add->EditPREZZO, Qt::Key_Tab);
            QTest::keyClicks(add->EditACQUISTO, QStringLiteral("1.75"));
            QTest::keyClick(add->EditACQUISTO, Qt::Key_Tab);
            QTest::keyClicks(add->EditFORN, QStringLiteral("ABC"));
            QTest::keyClick(add->EditFORN, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), add->EditPERIODO);
            QTest::keyClicks(add->EditPERIODO, QStringLiteral("Bi"));
            QCOMPARE(add->EditPERIODO->currentText(), QStringLiteral("Bimestrale"));
            QTest::keyClick(add->EditPERIODO, Qt::Key_Return);  // the default button
        });
        scan(w->Caricobarcode, code);
        QVERIFY(seenWindow);
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
        QCOMPARE(w->Label8->text(), QStringLiteral("Nuova Rivista"));
        QCOMPARE(w->CaricoPrezzo->text(), QStringLiteral("2,50"));
        QCOMPARE(w->CaricoAcquisto->text(), QStringLiteral("1,750000"));
        QCOMPARE(w->CaricoPeriodicita->text(), QStringLiteral("B"));
        QTest::keyClicks(w->Caricoquantita, QStringLiteral("12"));
        QTest::keyClick(w->Caricoquantita, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(w->Caricobarcode->text().isEmpty());
        QCOMPARE(w->Panel->DBText3->text(), QStringLiteral("Nuova Rivista"));
        w.reset();

        const OnDisk disk = archive->onDisk();
        const auto magazine = disk.magazine(QStringLiteral("9770001112223"));
        QVERIFY(magazine);
        QCOMPARE(magazine->nome, QStringLiteral("Nuova Rivista"));
        QCOMPARE(magazine->prezzo, 2.5);
        QCOMPARE(magazine->acquisto, 1.75);
        QCOMPARE(magazine->fornitore, QStringLiteral("ABC"));
        QCOMPARE(magazine->periodicit, QStringLiteral("B"));
        QCOMPARE(disk.issue(code)->giacenza, 12.0);
        QCOMPARE(disk.issue(code)->scadenza, kToday.addDays(60));
    }

    void newMagazineOkWithNothingTypedStoresOnlyTheBarcode() {
        const QString code = QStringLiteral("12345670");
        auto w = openWindow<TfrmCarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        whenModal(QStringLiteral("frmaddone"), [](QWidget* widget) {
            auto* add = static_cast<Tfrmaddone*>(widget);
            QTRY_COMPARE(QApplication::focusWidget(), add->EditNOME);
            QCOMPARE(add->EditCODE->text(),
                     QStringLiteral("12345670"));  // 8 characters: the whole code
            QTest::keyClick(add->EditNOME, Qt::Key_Return);
        });
        scan(w->Caricobarcode, code);
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
        QVERIFY(w->Label8->text().isEmpty());
        QVERIFY(w->CaricoPrezzo->text().isEmpty());
        QVERIFY(w->CaricoPeriodicita->text().isEmpty());
        QTest::keyClick(w->Caricoquantita, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(w->Caricobarcode->text().isEmpty());
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.magazine(code)->nome, QString());
        QCOMPARE(disk.issue(code)->scadenza, kToday.addDays(60));
    }

    void newMagazineRefusedByNoEscapeOrCloseBoxWritesNothing_data() {
        QTest::addColumn<int>("ending");
        QTest::newRow("&No") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close box") << 2;
    }
    void newMagazineRefusedByNoEscapeOrCloseBoxWritesNothing() {
        QFETCH(int, ending);
        auto w = openWindow<TfrmCarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        whenModal(QStringLiteral("frmaddone"), [ending](QWidget* widget) {
            auto* add = static_cast<Tfrmaddone*>(widget);
            QTRY_COMPARE(QApplication::focusWidget(), add->EditNOME);
            QTest::keyClicks(add->EditNOME, QStringLiteral("Da non salvare"));
            if (ending == 0) {
                QTest::keyClick(add->EditNOME, Qt::Key_N, Qt::AltModifier);
                QTRY_VERIFY(!add->isVisible());
            }
            if (ending == 1) QTest::keyClick(add->EditNOME, Qt::Key_Escape);
            if (ending == 2) add->close();
        });
        scan(w->Caricobarcode, QStringLiteral("977000111222300005"));
        QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
        QVERIFY(w->Caricobarcode->text().isEmpty());
        QCOMPARE(w->Label8->text(), movements::kWaitingForReading);
        QCOMPARE(archive->data().Riviste.state(), dbase::Cursor::State::Browse);
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.magazines.size(), size_t(1));
        QVERIFY(disk.journal.empty());
    }

    // --- every window: control codes and bad readings ---------------------
    void controlCodesAndBadReadingsPerWindow_data() {
        QTest::addColumn<int>("window");  // 0 stock-in, 1 sales, 2 returns
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("outcome");  // closed, bad, nothing, emptied, registered
        for (int window = 0; window < 3; ++window) {
            const char* names[] = {"stock-in", "sales", "returns"};
            const auto row = [&](const char* what, const QString& code, const char* outcome) {
                QTest::newRow(qPrintable(
                    QStringLiteral("%1 %2").arg(QLatin1String(names[window]), QLatin1String(what))))
                    << window << code << QString::fromLatin1(outcome);
            };
            row("000", QStringLiteral("000"), "closed");
            row("0000", QStringLiteral("0000"), "bad");
            row("blank 000", QStringLiteral(" 000"), "bad");
            row("000 blank", QStringLiteral("000 "), "bad");
            row("999", QStringLiteral("999"), window == 1 ? "emptied" : "bad");
            row("888", QStringLiteral("888"), window == 1 ? "registered" : "bad");
            row("empty", QString(), window == 1 ? "nothing" : "bad");
            for (int length : {1, 7, 12, 14, 16, 17, 19})
                row(qPrintable(QString::number(length)), QString(length, QLatin1Char('5')), "bad");
        }
    }
    void controlCodesAndBadReadingsPerWindow() {
        QFETCH(int, window);
        QFETCH(QString, code);
        QFETCH(QString, outcome);
        archive->addStock({kIssue, 3, 3.5, 2.45, {}, {}});
        std::unique_ptr<QDialog> w;
        QLineEdit* field = nullptr;
        QLabel* status = nullptr;
        TfrmScarico* sales = nullptr;
        if (window == 0) {
            auto f = openWindow<TfrmCarico>();
            field = f->Caricobarcode;
            status = f->Label8;
            w = std::move(f);
        } else if (window == 1) {
            auto f = openWindow<TfrmScarico>();
            field = f->Scaricobarcode;
            status = f->Label8;
            sales = f.get();
            w = std::move(f);
        } else {
            auto f = openWindow<TfrmResi>();
            field = f->Resobarcode;
            status = f->Label8;
            w = std::move(f);
        }
        QTRY_COMPARE(QApplication::focusWidget(), field);
        if (sales) {
            scan(field, kIssue);  // one line in the list
            QTRY_COMPARE(sales->saleList().lines().size(), size_t(1));
        }
        scan(field, code);
        if (outcome == QStringLiteral("closed")) {
            QTRY_VERIFY(!w->isVisible());
            QCOMPARE(w->result(), int(QDialog::Rejected));
            return;
        }
        QVERIFY(w->isVisible());
        if (outcome == QStringLiteral("bad")) {
            QCOMPARE(status->text(), movements::kBadReading);
            QTRY_COMPARE(QApplication::focusWidget(), field);
            QVERIFY(field->text().isEmpty());
        } else if (outcome == QStringLiteral("nothing")) {
            QCOMPARE(status->text(), QStringLiteral("Panorama"));
            QCOMPARE(sales->saleList().lines().size(), size_t(1));
            QVERIFY(QApplication::focusWidget() != field);  // the focus went where Tab sent it
        } else {
            QCOMPARE(status->text(), movements::kWaitingForReading);
            QVERIFY(sales->saleList().isEmpty());
            QVERIFY(sales->Totale->text().isEmpty());
            QTRY_COMPARE(QApplication::focusWidget(), field);
        }
        w.reset();
        const size_t written = outcome == QStringLiteral("registered") ? 1 : 0;
        QCOMPARE(archive->onDisk().journal.size(), written);
    }

    // --- sales -----------------------------------------------------------
    void saleOfThreeCopiesWithTheRunningTotal() {
        archive->addStock({kIssue, 2, 3.5, 2.45, {}, {}});
        auto w = openWindow<TfrmScarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
        QVERIFY(w->Totale->text().isEmpty());
        for (int i = 1; i <= 3; ++i) {
            scan(w->Scaricobarcode, kIssue);
            QTRY_COMPARE(w->DBGrid1->rowCount(), i);
            QCOMPARE(QApplication::focusWidget(), w->Scaricobarcode);
            QVERIFY(w->Scaricobarcode->text().isEmpty());
        }
        QCOMPARE(w->Label8->text(), QStringLiteral("Panorama"));
        QCOMPARE(w->DBGrid1->item(2, 0)->text(),
                 QStringLiteral("Panorama"));  // stored stock counts
        QCOMPARE(w->DBGrid1->item(2, 1)->text(), QStringLiteral("3,5"));
        QCOMPARE(w->Totale->text(), QStringLiteral("10,50 €"));
        QTest::keyClick(w->Scaricobarcode, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(w->DBGrid1->rowCount(), 0);
        QVERIFY(w->Totale->text().isEmpty());
        QCOMPARE(w->Label8->text(), movements::kWaitingForReading);
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(3));
        for (const Movement& m : disk.journal) {
            QCOMPARE(m.tipo, QStringLiteral("S"));
            QCOMPARE(m.quantita, -1.0);
            QCOMPARE(m.data, kToday);
        }
        QCOMPARE(disk.issue(kIssue)->giacenza, -1.0);
    }

    void enterInTheSalesBarcodeFieldRegistersTheListAsItStands() {
        archive->addStock({kIssue, 5, 3.5, 2.45, {}, {}});
        archive->addStock({QStringLiteral("12345670"), 5, 1, 0.5, {}, {}});
        auto w = openWindow<TfrmScarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
        scan(w->Scaricobarcode, kIssue);
        QTRY_COMPARE(w->DBGrid1->rowCount(), 1);
        scanEndedWith(w->Scaricobarcode, QStringLiteral("12345670"), true);
        QTRY_COMPARE(w->DBGrid1->rowCount(), 0);
        // The focus is back in the barcode field for the next customer.
        QTest::qWait(50);
        QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
        QVERIFY(w->Scaricobarcode->text().isEmpty());
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));  // the code in the field was not read
        QCOMPARE(disk.journal[0].key, kIssue);
        QCOMPARE(disk.issue(QStringLiteral("12345670"))->giacenza, 5.0);
    }

    void salesMarkerTotalFormatAndUnknownIssue() {
        const QString cheap = QStringLiteral("12345670");
        archive->addMagazine(
            {cheap, QString(25, QLatin1Char('N')), 1, 0.5, QStringLiteral("S"), {}});
        archive->addStock({cheap, 0, 1234.5, 0.5, {}, {}});
        auto w = openWindow<TfrmScarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
        scan(w->Scaricobarcode, cheap);
        QTRY_COMPARE(w->DBGrid1->rowCount(), 1);
        QCOMPARE(w->DBGrid1->item(0, 0)->text(),
                 QString(25, QLatin1Char('N')) + QStringLiteral(" GIAC"));
        QCOMPARE(w->Totale->text(), QStringLiteral("1.234,50 €"));

        prompts->expectMessage(movements::kNotStocked);
        scan(w->Scaricobarcode, QStringLiteral("87654321"));
        QTRY_COMPARE(prompts->pending(), 0);
        QCOMPARE(w->Label8->text(), movements::kBadReading);
        QCOMPARE(w->DBGrid1->rowCount(), 1);
        QCOMPARE(w->Totale->text(), QStringLiteral("1.234,50 €"));
        QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);

        QTest::keyClick(w->Scaricobarcode, Qt::Key_A, Qt::AltModifier);  // "&Annulla"
        QTRY_COMPARE(w->DBGrid1->rowCount(), 0);
        QVERIFY(w->Totale->text().isEmpty());
        QTest::keyClick(w->Scaricobarcode, Qt::Key_Escape);  // does nothing
        QVERIFY(w->isVisible());
        w.reset();
        QVERIFY(archive->onDisk().journal.empty());
    }

    void saleLineWhoseIssueIsGoneIsLeftOutAndNamed() {
        const QString gone = QStringLiteral("12345670");
        archive->addMagazine({gone, QStringLiteral("Sparita"), 1, 0.5, QStringLiteral("S"), {}});
        archive->addStock({gone, 3, 1, 0.5, {}, {}});
        archive->addStock({kIssue, 3, 3.5, 2.45, {}, {}});
        auto w = openWindow<TfrmScarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
        scan(w->Scaricobarcode, gone);
        scan(w->Scaricobarcode, kIssue);
        QTRY_COMPARE(w->DBGrid1->rowCount(), 2);
        QVERIFY(archive->data().Giacenza.findKey(gone));
        archive->data().Giacenza.deleteRecord();

        prompts->expectWarning(std::nullopt);
        QTest::keyClick(w->Scaricobarcode, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(prompts->pending(), 0);
        const QString warning = prompts->shown().back().text;
        QVERIFY(warning.contains(gone));
        QVERIFY(warning.contains(QStringLiteral("Sparita")));
        QTRY_COMPARE(w->DBGrid1->rowCount(), 0);
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));
        QCOMPARE(disk.journal[0].key, kIssue);
        QCOMPARE(disk.issue(kIssue)->giacenza, 2.0);
    }

    void failedSaleShowsTheErrorAndARetryRegistersOnlyTheRest() {
        const QString full = QStringLiteral("12345670");
        archive->addMagazine({full, QStringLiteral("Piena"), 1, 0.5, QStringLiteral("S"), {}});
        archive->addStock({kIssue, 3, 3.5, 2.45, {}, {}});
        archive->addStock({full, -999999999, 1, 0.5, {}, {}});  // one less does not fit the field
        auto w = openWindow<TfrmScarico>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
        for (const QString& code : {kIssue, full, kIssue}) scan(w->Scaricobarcode, code);
        QTRY_COMPARE(w->DBGrid1->rowCount(), 3);

        prompts->expectError(std::nullopt);
        QTest::keyClick(w->Scaricobarcode, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(prompts->pending(), 0);
        QVERIFY(!prompts->shown().back().text.isEmpty());
        QTRY_COMPARE(w->DBGrid1->rowCount(), 2);  // the first line is registered and gone
        QCOMPARE(w->DBGrid1->item(0, 0)->text(), QStringLiteral("Piena GIAC<0"));
        QVERIFY(w->isVisible());

        QVERIFY(archive->data().Giacenza.findKey(full));
        archive->data().Giacenza.edit();
        archive->data().Giacenza.setNumber(QStringLiteral("GIACENZA"), 0);
        archive->data().Giacenza.post();
        QTest::keyClick(w->Scaricobarcode, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(w->DBGrid1->rowCount(), 0);
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(3));
        QCOMPARE(disk.issue(kIssue)->giacenza, 1.0);
        QCOMPARE(disk.issue(full)->giacenza, -1.0);
    }

    // --- returns ---------------------------------------------------------
    void returnOfTheWholeStock_data() {
        QTest::addColumn<bool>("enter");
        QTest::addColumn<double>("stock");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<double>("written");
        QTest::addColumn<double>("after");
        QTest::newRow("7, Tab") << false << 7.0 << "7" << -7.0 << 0.0;
        QTest::newRow("7, Enter") << true << 7.0 << "7" << -7.0 << 0.0;
        QTest::newRow("0 returns one") << false << 0.0 << "" << -1.0 << -1.0;
        QTest::newRow("-2") << false << -2.0 << "-2" << 2.0 << 0.0;
    }
    void returnOfTheWholeStock() {
        QFETCH(bool, enter);
        QFETCH(double, stock);
        QFETCH(QString, proposed);
        QFETCH(double, written);
        QFETCH(double, after);
        archive->addStock({kIssue, stock, 3.2, 2.1, QDate(2024, 3, 1), QDate(2024, 3, 31)});
        auto w = openWindow<TfrmResi>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Resobarcode);
        scanEndedWith(w->Resobarcode, kIssue, enter);
        QTRY_COMPARE(QApplication::focusWidget(), w->Resoquantita);
        QCOMPARE(w->Label8->text(), QStringLiteral("Panorama"));
        const QString before = QStringLiteral("giacenza attuale ") + QString::number(stock);
        QCOMPARE(w->Label10->text(), before);
        QCOMPARE(w->Resoquantita->text(), proposed);
        QTest::keyClick(w->Resoquantita, enter ? Qt::Key_Return : Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), w->BitBtn1);
        QTest::keyClick(w->BitBtn1, Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget(), w->Resobarcode);
        QCOMPARE(w->Label8->text(), movements::kWaitingForReading);
        QCOMPARE(w->Label10->text(), before);  // until the next reading
        QCOMPARE(w->Panel->DBText6->text(), QStringLiteral("R"));
        QCOMPARE(w->Panel->DBText2->text(), QString::number(written).replace(u'.', u','));
        w.reset();
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));
        QCOMPARE(disk.journal[0].tipo, QStringLiteral("R"));
        QCOMPARE(disk.journal[0].quantita, written);
        QCOMPARE(disk.journal[0].prezzo, 3.2);  // the issue's prices, not the magazine's 3.5
        QCOMPARE(disk.journal[0].acquisto, 2.1);
        QCOMPARE(disk.issue(kIssue)->giacenza, after);
        QCOMPARE(disk.issue(kIssue)->scadenza, QDate(2024, 3, 31));
    }

    void returnsRefuseOverTenThousandAndReportUnknownIssues() {
        archive->addStock({kIssue, 3, 3.2, 2.1, {}, {}});
        auto w = openWindow<TfrmResi>();
        QTRY_COMPARE(QApplication::focusWidget(), w->Resobarcode);
        prompts->expectMessage(movements::kNotStocked);
        scan(w->Resobarcode, QStringLiteral("87654321"));
        QTRY_COMPARE(prompts->pending(), 0);
        QCOMPARE(w->Label8->text(), movements::kBadReading);

        QTRY_COMPARE(QApplication::focusWidget(), w->Resobarcode);
        scan(w->Resobarcode, kIssue);
        QTRY_COMPARE(QApplication::focusWidget(), w->Resoquantita);
        w->Resoquantita->selectAll();
        QTest::keyClicks(w->Resoquantita, QStringLiteral("10001"));
        QTest::keyClick(w->Resoquantita, Qt::Key_R, Qt::AltModifier);
        QTRY_VERIFY(w->Resoquantita->text().isEmpty());
        QCOMPARE(w->Resobarcode->text(), kIssue);
        w.reset();
        QVERIFY(archive->onDisk().journal.empty());
    }

  private:
    platform::EnterAsTab enterAsTab;
    std::unique_ptr<CounterArchive> archive;
    std::unique_ptr<platform::ScriptedPrompts> prompts;
    std::unique_ptr<platform::PromptsScope> promptsScope;
};

int main(int argc, char** argv) {
    shell::Application app(argc, argv);  // uncaught errors go to the error box, as in the program
    CounterWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "counter_windows_test.moc"
