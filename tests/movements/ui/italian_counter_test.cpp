// A day at the counter of an Italian shop: the process runs under it_IT, as
// Qt makes it from the environment, so the C library writes a decimal comma.
// A new magazine is stocked in with prices typed with either decimal key and
// sold; the screen shows Italian amounts, the files hold decimal points, and
// a second dBASE reader reads them.
#include "support/counter_archive.h"
#include "support/modal_driver.h"
#include "movements/ui/new_magazine_window.h"
#include "movements/ui/stock_in_window.h"
#include "shell/counter_commands.h"
#include "movements/ui/number_field.h"
#include "movements/ui/sale_window.h"
#include "platform/dates.h"
#include "platform/program_locale.h"
#include "shell/application.h"
#include "shell/main_window.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QTableWidget>
#include <QtTest>
#include <clocale>

using namespace counter_test;

namespace {

const QString kIssue = QStringLiteral("977999888777600001");
const QString kMag = kIssue.left(13);
const QDate kToday(2024, 3, 15);

// Every record of the three tables as the python dBASE reader sees them.
QJsonObject readWithDbfread(const QString& folder) {
    const QString script = QStringLiteral(
        "import dbfread, json, os, sys\n"
        "out = {}\n"
        "for name in ('Riviste3.DBF', 'Giacenza3.DBF', 'Giornale3.DBF'):\n"
        "    t = dbfread.DBF(os.path.join(sys.argv[1], name), encoding='cp1252', load=True)\n"
        "    out[name] = [dict(r) for r in t.records]\n"
        "print(json.dumps(out, default=str))\n");
    // Debian's python3 has the reader; one first on the PATH may not.
    for (const QString& python : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess p;
        p.start(python, {QStringLiteral("-c"), script, folder});
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        qWarning("%s: %s", qPrintable(python), p.readAllStandardError().constData());
    }
    return {};
}

}  // namespace

class ItalianCounterTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY2(std::setlocale(LC_ALL, "it_IT.UTF-8"),
                 "the it_IT.UTF-8 locale is missing (tools/install-deps.sh generates it)");
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        platform::setToday(kToday);
    }

    void newMagazineStockedInAndSoldKeepsItsPrices() {
        CounterArchive archive;
        auto menu = std::make_unique<TMenuForm>();
        installMovementCommands(*menu);
        createFrmaddone(menu.get());
        menu->show();
        menu->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(menu.get()));
        QTRY_COMPARE(QApplication::focusWidget(), menu->Edit1);

        bool delivered = false;
        whenModal(QStringLiteral("frmCarico"), [&delivered](QWidget* widget) {
            auto* w = static_cast<TfrmCarico*>(widget);
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
            whenModal(QStringLiteral("frmaddone"), [](QWidget* add) {
                auto* a = static_cast<Tfrmaddone*>(add);
                QTRY_COMPARE(QApplication::focusWidget(), a->EditNOME);
                QTest::keyClicks(a->EditNOME, QStringLiteral("Il Nuovo"));
                QTest::keyClick(a->EditNOME, Qt::Key_Tab);
                QTest::keyClicks(a->EditPREZZO, QStringLiteral("3,50"));
                QTest::keyClick(a->EditPREZZO, Qt::Key_Tab);
                QTest::keyClicks(a->EditACQUISTO, QStringLiteral("2.45"));  // the other decimal key
                QCOMPARE(a->EditACQUISTO->text(), QStringLiteral("2,45"));
                QTest::keyClick(a->EditACQUISTO, Qt::Key_Tab);
                QTest::keyClick(a->EditFORN, Qt::Key_Tab);
                QTest::keyClicks(a->EditPERIODO, QStringLiteral("S"));
                QTest::keyClick(a->EditPERIODO, Qt::Key_Return);
            });
            QTest::keyClicks(w->Caricobarcode, kIssue);
            QTest::keyClick(w->Caricobarcode, Qt::Key_Tab);
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricoquantita);
            QCOMPARE(w->CaricoPrezzo->text(), QStringLiteral("3,50"));
            QCOMPARE(w->CaricoAcquisto->text(), QStringLiteral("2,450000"));
            QTest::keyClicks(w->Caricoquantita, QStringLiteral("10"));
            QTest::keyClick(w->Caricoquantita, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->BitBtn1);
            QTest::keyClick(w->BitBtn1, Qt::Key_Return);
            QTRY_COMPARE(QApplication::focusWidget(), w->Caricobarcode);
            delivered = true;
            scan(w->Caricobarcode, QStringLiteral("000"));
        });
        scan(menu->Edit1, QStringLiteral("111"));
        QTRY_VERIFY(delivered);
        QTRY_VERIFY(!frmCarico);
        QTRY_COMPARE(QApplication::focusWidget(), menu->Edit1);

        bool sold = false;
        whenModal(QStringLiteral("frmScarico"), [&sold](QWidget* widget) {
            auto* w = static_cast<TfrmScarico*>(widget);
            QTRY_COMPARE(QApplication::focusWidget(), w->Scaricobarcode);
            for (int i = 1; i <= 3; ++i) {
                scan(w->Scaricobarcode, kIssue);
                QTRY_COMPARE(w->DBGrid1->rowCount(), i);
            }
            QCOMPARE(w->DBGrid1->item(0, 0)->text(), QStringLiteral("Il Nuovo"));
            QCOMPARE(w->DBGrid1->item(0, 1)->text(), QStringLiteral("3,5"));
            QCOMPARE(w->Totale->text(), QStringLiteral("10,50 €"));
            scan(w->Scaricobarcode, QStringLiteral("888"));
            QTRY_COMPARE(w->DBGrid1->rowCount(), 0);
            sold = true;
            scan(w->Scaricobarcode, QStringLiteral("000"));
        });
        scan(menu->Edit1, QStringLiteral("333"));
        QTRY_VERIFY(sold);
        QTRY_VERIFY(!frmScarico);
        menu.reset();

        const OnDisk disk = archive.onDisk();
        QCOMPARE(disk.magazine(kMag)->prezzo, 3.5);
        QCOMPARE(disk.magazine(kMag)->acquisto, 2.45);
        QCOMPARE(disk.issue(kIssue)->giacenza, 7.0);
        QCOMPARE(disk.issue(kIssue)->prezzo, 3.5);
        QCOMPARE(disk.issue(kIssue)->acquisto, 2.45);
        QCOMPARE(disk.journal.size(), size_t(4));
        for (const Movement& m : disk.journal) {
            QCOMPARE(m.prezzo, 3.5);
            QCOMPARE(m.acquisto, 2.45);
        }

        const QJsonObject read = readWithDbfread(archive.folder());
        QCOMPARE(read.size(), 3);
        for (const QString& table : read.keys()) {
            const QJsonArray records = read[table].toArray();
            QVERIFY2(!records.isEmpty(), qPrintable(table));
            for (const QJsonValue& r : records) {
                QCOMPARE(r[QStringLiteral("PREZZO")].toDouble(), 3.5);
                QCOMPARE(r[QStringLiteral("ACQUISTO")].toDouble(), 2.45);
            }
        }
    }
};

int main(int argc, char** argv) {
    shell::Application app(argc, argv);
    ItalianCounterTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "italian_counter_test.moc"
