// The counter from the main window: the scan field opens the stock-in,
// returns and sales windows ("111", "222", "333") and the history of a
// scanned issue; the commands prepare the data module, and every window is
// destroyed with the cursor back to normal when it closes.
#include "support/counter_archive.h"
#include "support/modal_driver.h"
#include "movements/ui/new_magazine_window.h"
#include "movements/ui/stock_in_window.h"
#include "shell/counter_commands.h"
#include "movements/ui/last_movement_panel.h"
#include "movements/ui/number_field.h"
#include "movements/ui/returns_window.h"
#include "movements/ui/sale_window.h"
#include "platform/dates.h"
#include "platform/program_locale.h"
#include "registry/ui/item_history_window.h"
#include "shell/application.h"
#include "shell/main_window.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace counter_test;

namespace {

const QString kMag = QStringLiteral("9771234567003");
const QString kIssue = kMag + QStringLiteral("00042");
const QDate kToday(2024, 3, 15);

}  // namespace

class CounterMainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        platform::setToday(kToday);
        // The main window switches the Enter-as-Tab rule on when it becomes active.
    }
    void init() {
        archive = std::make_unique<CounterArchive>();
        archive->addMagazine(
            {kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
        menu = std::make_unique<TMenuForm>();
        installMovementCommands(*menu);
        createFrmaddone(menu.get());
        menu->show();
        menu->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(menu.get()));
        QTRY_COMPARE(QApplication::focusWidget(), menu->Edit1);
    }
    void cleanup() {
        menu.reset();
        QVERIFY(!frmaddone);  // owned by the main window
        archive.reset();
    }

    void typicalSale_data() {
        QTest::addColumn<bool>("enter");
        QTest::newRow("333 and Enter") << true;
        QTest::newRow("333 and Tab") << false;
    }
    void typicalSale() {
        QFETCH(bool, enter);
        archive->addStock({kIssue, 5, 3.2, 2.1, QDate(2024, 3, 1), QDate(2024, 3, 8)});
        archive->data().Riviste.setIndex(QStringLiteral("NOME"));
        bool sold = false;
        whenModal(QStringLiteral("frmScarico"), [&sold](QWidget* widget) {
            auto* w = static_cast<TfrmScarico*>(widget);
            QVERIFY(QApplication::overrideCursor() == nullptr);
            QCOMPARE(w->windowTitle(), QStringLiteral("Scarico riviste"));
            QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
            for (int i = 1; i <= 3; ++i) {
                scan(w->Scaricobarcode, kIssue);
                QTRY_COMPARE(w->DBGrid1->rowCount(), i);
            }
            QCOMPARE(w->Totale->text(), QStringLiteral("9,60 €"));
            scan(w->Scaricobarcode, QStringLiteral("888"));  // the customer has paid
            QTRY_COMPARE(w->DBGrid1->rowCount(), 0);
            QVERIFY(w->Totale->text().isEmpty());
            QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
            sold = true;
            scan(w->Scaricobarcode, QStringLiteral("000"));
        });
        QTest::keyClicks(menu->Edit1, QStringLiteral("333"));
        QTest::keyClick(menu->Edit1, enter ? Qt::Key_Return : Qt::Key_Tab);
        QTRY_VERIFY(sold);
        QTRY_VERIFY(!frmScarico);
        QTRY_COMPARE(QApplication::focusWidget(), menu->Edit1);
        QVERIFY(menu->Edit1->text().isEmpty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(archive->data().Riviste.indexName(), QStringLiteral("BARCODE"));

        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(3));
        for (const Movement& m : disk.journal) {
            QCOMPARE(m.key, kIssue);
            QCOMPARE(m.tipo, QStringLiteral("S"));
            QCOMPARE(m.quantita, -1.0);
            QCOMPARE(m.prezzo, 3.2);
            QCOMPARE(m.acquisto, 2.1);
            QCOMPARE(m.data, kToday);
        }
        QCOMPARE(disk.issue(kIssue)->giacenza, 2.0);
    }

    void deliveryOfAKnownAndOfAnUnknownMagazine() {
        const QString unknown = QStringLiteral("977999888777600001");
        bool delivered = false;
        whenModal(QStringLiteral("frmCarico"), [&delivered, unknown](QWidget* widget) {
            auto* w = static_cast<TfrmCarico*>(widget);
            QCOMPARE(w->DateEdit1->date(), kToday);
            QCOMPARE(w->windowTitle(), QStringLiteral("Carico riviste"));
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);

            // A new issue of a known magazine, code ended with Enter.
            QTest::keyClicks(w->Caricobarcode, kIssue);
            QTest::keyClick(w->Caricobarcode, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
            QCOMPARE(w->CaricoPrezzo->text(), QStringLiteral("3,50"));
            QTest::keyClicks(w->Caricoquantita, QStringLiteral("8"));
            QTest::keyClick(w->Caricoquantita, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->BitBtn1);
            QTest::keyClick(w->BitBtn1, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);

            // An unknown magazine, created in the long-lived new-magazine window.
            whenModal(QStringLiteral("frmaddone"), [](QWidget* add) {
                auto* a = static_cast<Tfrmaddone*>(add);
                QVERIFY(a == frmaddone);
                QTRY_COMPARE(QApplication::focusWidget(), a->EditNOME);
                QTest::keyClicks(a->EditNOME, QStringLiteral("Il Nuovo"));
                QTest::keyClick(a->EditNOME, Qt::Key_Tab);
                QTest::keyClicks(a->EditPREZZO, QStringLiteral("5,9"));
                QTest::keyClick(a->EditPREZZO, Qt::Key_Tab);
                QTest::keyClicks(a->EditACQUISTO, QStringLiteral("4.13"));
                QTest::keyClick(a->EditACQUISTO, Qt::Key_Tab);
                QTest::keyClick(a->EditFORN, Qt::Key_Tab);
                QTest::keyClicks(a->EditPERIODO, QStringLiteral("S"));
                QCOMPARE(a->EditPERIODO->currentText(), QStringLiteral("Settimanale"));
                QTest::keyClick(a->EditPERIODO, Qt::Key_Return);
            });
            QTest::keyClicks(w->Caricobarcode, unknown);
            QTest::keyClick(w->Caricobarcode, Qt::Key_Tab);
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
            QCOMPARE(w->Label8->text(), QStringLiteral("Il Nuovo"));
            QTest::keyClicks(w->Caricoquantita, QStringLiteral("20"));
            QTest::keyClick(w->Caricoquantita, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->BitBtn1);
            QTest::keyClick(w->BitBtn1, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
            QCOMPARE(w->Panel->DBText3->text(), QStringLiteral("Il Nuovo"));
            delivered = true;
            scan(w->Caricobarcode, QStringLiteral("000"));
        });
        scan(menu->Edit1, QStringLiteral("111"));
        QTRY_VERIFY(delivered);
        QTRY_VERIFY(!frmCarico);
        QVERIFY(frmaddone && !frmaddone->isVisible());  // hidden, kept for the next one
        QTRY_COMPARE(QApplication::focusWidget(), menu->Edit1);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(archive->data().Riviste.indexName(), QStringLiteral("BARCODE"));

        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(2));
        QCOMPARE(disk.issue(kIssue)->giacenza, 8.0);
        QCOMPARE(disk.issue(kIssue)->scadenza, kToday.addDays(7));
        QCOMPARE(disk.issue(unknown)->giacenza, 20.0);
        QCOMPARE(disk.issue(unknown)->prezzo, 5.9);
        QCOMPARE(disk.issue(unknown)->acquisto, 4.13);
        QCOMPARE(disk.issue(unknown)->scadenza, kToday.addDays(7));
        const auto created = disk.magazine(QStringLiteral("9779998887776"));
        QVERIFY(created);
        QCOMPARE(created->nome, QStringLiteral("Il Nuovo"));
        QCOMPARE(created->periodicit, QStringLiteral("S"));
        QCOMPARE(disk.journal[1].tipo, QStringLiteral("C"));
        QCOMPARE(disk.journal[1].quantita, 20.0);
    }

    void returnOfTheWholeStock() {
        archive->addStock({kIssue, 7, 3.2, 2.1, QDate(2024, 3, 1), QDate(2024, 3, 8)});
        bool returned = false;
        whenModal(QStringLiteral("frmResi"), [&returned](QWidget* widget) {
            auto* w = static_cast<TfrmResi*>(widget);
            QCOMPARE(w->DateEdit1->date(), kToday);
            QTRY_COMPARE(QApplication::focusWidget(), w->Resobarcode);
            QTest::keyClicks(w->Resobarcode, kIssue);
            QTest::keyClick(w->Resobarcode, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->Resoquantita);
            QCOMPARE(w->Resoquantita->text(), QStringLiteral("7"));
            QTest::keyClick(w->Resoquantita, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->BitBtn1);
            QTest::keyClick(w->BitBtn1, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->Resobarcode);
            QCOMPARE(w->Panel->DBText2->text(), QStringLiteral("-7"));
            returned = true;
            scan(w->Resobarcode, QStringLiteral("000"));
        });
        QTest::keyClicks(menu->Edit1, QStringLiteral("222"));
        QTest::keyClick(menu->Edit1, Qt::Key_Return);
        QTRY_VERIFY(returned);
        QTRY_VERIFY(!frmResi);
        QTRY_COMPARE(QApplication::focusWidget(), menu->Edit1);
        const OnDisk disk = archive->onDisk();
        QCOMPARE(disk.journal.size(), size_t(1));
        QCOMPARE(disk.journal[0].tipo, QStringLiteral("R"));
        QCOMPARE(disk.journal[0].quantita, -7.0);
        QCOMPARE(disk.issue(kIssue)->giacenza, 0.0);
    }

    void historyOfAnIssueWithAllThreeMovementTypes() {
        const QString other = kMag + QStringLiteral("00043");
        archive->addStock({kIssue, 1, 3.2, 2.1, QDate(2024, 3, 1), QDate(2024, 3, 8)});
        archive->addStock({other, 4, 3.2, 2.1, QDate(2024, 3, 2), QDate(2024, 3, 9)});
        // Entered out of date order: the grid shows them by date.
        archive->addMovement({kIssue, QDate(2024, 3, 5), -7, 3.2, 2.1, QStringLiteral("R")});
        archive->addMovement({kIssue, QDate(2024, 3, 1), 10, 3.2, 2.1, QStringLiteral("C")});
        archive->addMovement({other, QDate(2024, 3, 2), 4, 3.2, 2.1, QStringLiteral("C")});
        archive->addMovement({kIssue, QDate(2024, 3, 3), -1, 3.2, 2.1, QStringLiteral("S")});
        archive->addMovement({kIssue, QDate(2024, 3, 4), -1, 3.2, 2.1, QStringLiteral("S")});
        archive->addMovement({kIssue, QDate(2024, 3, 6), 1, 3.2, 2.1, QStringLiteral("X")});

        for (bool enter : {false, true}) {
            bool shown = false;
            whenModal(QStringLiteral("frmQuery"), [&shown](QWidget* widget) {
                auto* w = static_cast<TfrmQuery*>(widget);
                QCOMPARE(w->windowTitle(), QStringLiteral("Interrogazione stato rivista"));
                QCOMPARE(w->DBText1->text(), QStringLiteral("Panorama"));
                QCOMPARE(w->DBText2->text(), QStringLiteral("1"));
                QCOMPARE(w->DBText3->text(), QStringLiteral("3,20"));
                QCOMPARE(w->DBText4->text(), QStringLiteral("2,10"));
                QCOMPARE(w->DBText5->text(), QStringLiteral("01/03/2024"));
                QTableWidget* grid = w->DBGrid1;
                QCOMPARE(grid->horizontalHeaderItem(4)->text(), QStringLiteral("Tipo mov."));
                QCOMPARE(grid->rowCount(), 5);
                const QStringList types{QStringLiteral("Carico"), QStringLiteral("Scarico"),
                                        QStringLiteral("Scarico"), QStringLiteral("Reso"),
                                        QString()};
                const QStringList quantities{QStringLiteral("10"), QStringLiteral("-1"),
                                             QStringLiteral("-1"), QStringLiteral("-7"),
                                             QStringLiteral("1")};
                for (int row = 0; row < 5; ++row) {
                    QCOMPARE(grid->item(row, 4)->text(), types[row]);
                    QCOMPARE(grid->item(row, 1)->text(), quantities[row]);
                }
                QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("01/03/2024"));
                QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("3,20"));
                QCOMPARE(grid->currentRow(), 4);  // the most recent movement
                QCOMPARE(w->Query1.recNo(), 4);
                shown = true;
                QTRY_VERIFY(w->isActiveWindow());
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w,
                                Qt::Key_Return);  // OK is the default button
                QTRY_VERIFY(!w->isVisible());
            });
            QTest::keyClicks(menu->Edit1, kIssue);
            QTest::keyClick(menu->Edit1, enter ? Qt::Key_Return : Qt::Key_Tab);
            QTRY_VERIFY(shown);
            QTRY_VERIFY(!frmQuery);
            QTRY_COMPARE(QApplication::focusWidget(), menu->Edit1);
            QVERIFY(menu->Edit1->text().isEmpty());
            QVERIFY(QApplication::overrideCursor() == nullptr);
        }
        // Viewing changes nothing.
        QCOMPARE(archive->onDisk().journal.size(), size_t(6));
    }

    void codesWithoutStockOpenNoHistory_data() {
        QTest::addColumn<QString>("code");
        QTest::newRow("unknown 18") << QStringLiteral("977000000000000001");
        QTest::newRow("12 of a stored key") << QStringLiteral("977123456700");
        QTest::newRow("17") << (kIssue.left(17));
    }
    void codesWithoutStockOpenNoHistory() {
        QFETCH(QString, code);
        archive->addStock({kIssue, 1, 3.2, 2.1, {}, {}});
        archive->addStock({QStringLiteral("977123456700"), 1, 3.2, 2.1, {}, {}});
        scan(menu->Edit1, code);
        QTest::qWait(50);
        QVERIFY(!frmQuery);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(QApplication::focusWidget(), menu->Edit1);
        QVERIFY(menu->Edit1->text().isEmpty());
    }

    void aFailingCommandLeavesNoWindowAndNoHourglass() {
        archive->data().Giornale.close();  // the preparation cannot move the journal
        BoxSeen seen;
        answerBox(QStringLiteral("OK"), &seen, QStringLiteral("ErrorBox"));
        scan(menu->Edit1, QStringLiteral("111"));
        QTRY_VERIFY(!seen.text.isEmpty());
        QTRY_VERIFY(!frmCarico);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        archive->data().openTables();
    }

  private:
    std::unique_ptr<CounterArchive> archive;
    std::unique_ptr<TMenuForm> menu;
};

int main(int argc, char** argv) {
    shell::Application app(argc, argv);
    CounterMainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "counter_main_window_test.moc"
