// The five print commands from the main window, through the real windows: the
// print menu opened with Alt+T, the selection made with keys only, the
// preview's text export read back; a cancelled selection and a missing
// template.
#include "support/report_test_support.h"

#include "support/counter_archive.h"
#include "support/modal_driver.h"
#include "platform/cp1252.h"
#include "platform/dates.h"
#include "platform/program_locale.h"
#include "platform/scripted_prompts.h"
#include "reports/ui/date_box.h"
#include "reports/ui/preview_window.h"
#include "reports/ui/selection_window.h"
#include "shell/main_window.h"
#include "shell/print_commands.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace counter_test;
using platform::ScriptedPrompts;

namespace {

const QString alfa1 = QStringLiteral("977000000000100001"), alfa2 = QStringLiteral("977000000000100002"),
              beta1 = QStringLiteral("977000000000200001"), gamma1 = QStringLiteral("977000000000300001");

// Presses Tab until `target` has the focus, as the operator would.
void tabTo(QWidget* target) {
    for (int i = 0; i < 30 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), target);
}

// Alt+S, the mnemonic of "&Stampa": a shortcut of the active window, which
// presses the button a moment later, as a click would look.
void pressStampa(QWidget* form) {
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(!form->isVisible());
}

}  // namespace

class PrintCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        platform::setToday(QDate(2026, 3, 31));
    }
    void init() {
        archive = std::make_unique<CounterArchive>();
        // The templates beside the archive, where the program looks first.
        for (const char* name : {"Report1.frf", "Report2.frf", "Report3.frf", "Report4.frf", "Report5.frf"})
            QVERIFY(QFile::copy(reports::test::templatePath(name), archive->folder() + u'/' + QLatin1String(name)));
        QDir::setCurrent(archive->folder());
        archive->addMagazine({alfa1.left(13), QStringLiteral("Alfa Motori"), 2, 1, QStringLiteral("S"), QStringLiteral("001")});
        archive->addMagazine({beta1.left(13), QStringLiteral("Beta Varie"), 3, 2, QStringLiteral("V"), QStringLiteral("002")});
        archive->addMagazine({gamma1.left(13), QStringLiteral("Gamma Cucina"), 4, 3, QStringLiteral("M"), QStringLiteral("002")});
        archive->addStock({alfa1, 5, 2, 1, QDate(2026, 3, 1), QDate(2026, 3, 10)});
        archive->addStock({alfa2, 0, 2, 1, QDate(2026, 3, 12), QDate(2026, 3, 20)});
        archive->addStock({beta1, 3, 3, 2, QDate(2026, 2, 1), QDate(2099, 12, 31)});
        archive->addStock({gamma1, 2, 4, 3, QDate(2026, 3, 2), QDate(2026, 4, 30)});
        archive->addMovement({alfa1, QDate(2026, 3, 1), 6, 2, 1, QStringLiteral("C")});
        archive->addMovement({alfa1, QDate(2026, 3, 5), -1, 2, 1, QStringLiteral("S")});
        archive->addMovement({gamma1, QDate(2026, 3, 2), 2, 4, 3, QStringLiteral("C")});
        archive->addMovement({alfa2, QDate(2026, 3, 25), -3, 2, 1, QStringLiteral("R")});
        archive->addMovement({gamma1, QDate(2026, 3, 26), -1, 4, 3, QStringLiteral("R")});

        scope = std::make_unique<platform::PromptsScope>(prompts);
        menu = std::make_unique<TMenuForm>();
        createSelezioneform(menu.get());
        installPrintCommands(*menu);
        menu->show();
        menu->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(menu.get()));
    }
    void cleanup() {
        menu.reset();
        QVERIFY(!selezioneform);  // owned by the main window
        scope.reset();
        QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join(u'\n')));
        prompts = ScriptedPrompts();
        QDir::setCurrent(QDir::tempPath());
        archive.reset();
    }

    // Stock list with "stock not zero" ticked, then the movement list of one
    // magazine: the box is disabled and ignored; the values stay.
    void stockListThenMovementList() {
        QString stock, movements;
        whenModal(QStringLiteral("selezioneform"), [](QWidget* w) {
            auto* form = static_cast<Tselezioneform*>(w);
            QCOMPARE(form->windowTitle(), QStringLiteral("Stampa Riviste e Giacenze"));
            QCOMPARE(form->PageControl1->currentWidget(), form->Giornale);
            QVERIFY(form->CheckBox1->isEnabled());
            QTRY_COMPARE(QApplication::focusWidget(), form->BitBtn1);
            QVERIFY(form->RadioButton2->isChecked());
            // "tutto l'archivio", so that the non-periodic Beta is listed too.
            tabTo(form->RadioButton1);  // Tab enters the group once
            QTest::keyClick(form->RadioButton1, Qt::Key_Space);
            QVERIFY(form->RadioButton1->isChecked());
            tabTo(form->CheckBox1);
            QTest::keyClick(form->CheckBox1, Qt::Key_Space);
            pressStampa(form);
        });
        exportPreview(&stock);
        runFromKeyboard(Qt::Key_L);
        QVERIFY(!stock.isEmpty());
        QVERIFY(stock.contains(QStringLiteral("Alfa Motori")));
        QVERIFY(stock.contains(QStringLiteral("Beta Varie")));
        QVERIFY(stock.contains(QStringLiteral("Gamma Cucina")));
        QVERIFY2(!stock.contains(QStringLiteral("00002")), qPrintable(stock));  // alfa2 has no copies
        QVERIFY2(stock.contains(QRegularExpression(QStringLiteral("Totale: 3 numeri +10 "))), qPrintable(stock));
        QVERIFY(!archive->data().Stampa1.isOpen());

        whenModal(QStringLiteral("selezioneform"), [](QWidget* w) {
            auto* form = static_cast<Tselezioneform*>(w);
            QCOMPARE(form->windowTitle(), QStringLiteral("Stampa Giornale movimenti"));
            QVERIFY(!form->CheckBox1->isEnabled());
            QVERIFY(form->CheckBox1->isChecked());
            QVERIFY(form->RadioButton1->isChecked());  // kept from the stock list
            QCOMPARE(form->Selriviste->currentText(), QStringLiteral("(tutte)"));
            QCOMPARE(form->Selriviste->count(), 4);
            tabTo(form->Selriviste);
            QTest::keyClicks(form->Selriviste, QStringLiteral("G"));
            QCOMPARE(form->Selriviste->currentText(), QStringLiteral("Gamma Cucina"));
            pressStampa(form);
        });
        exportPreview(&movements);
        runFromKeyboard(Qt::Key_M);
        QVERIFY(movements.contains(QStringLiteral("Gamma Cucina")));
        QVERIFY2(!movements.contains(QStringLiteral("Alfa Motori")), qPrintable(movements));
        QVERIFY(!archive->data().Stampa2.isOpen());
    }

    // The expired issues by a check date typed into the Scaduti page: the
    // other page's magazine does not restrict them.
    void expiredIssuesByTheCheckDate() {
        selezioneform->Selriviste->setNames({QStringLiteral("Gamma Cucina")});
        selezioneform->Selriviste->setCurrentIndex(1);
        QString text;
        whenModal(QStringLiteral("selezioneform"), [](QWidget* w) {
            auto* form = static_cast<Tselezioneform*>(w);
            QCOMPARE(form->windowTitle(), QStringLiteral("Analisi e stampa giacenze scadute"));
            QCOMPARE(form->PageControl1->currentWidget(), form->Scaduti);
            QCOMPARE(form->DateEdit3->placeholderText(), QStringLiteral("31/03/2026"));
            tabTo(form->DateEdit3);
            QTest::keyClicks(form->DateEdit3, QStringLiteral("15/03/2026"));
            pressStampa(form);
        });
        exportPreview(&text);
        runFromKeyboard(Qt::Key_S);
        QVERIFY2(text.contains(QStringLiteral("Alfa Motori")), qPrintable(text));
        QVERIFY(text.contains(alfa1));
        QVERIFY(!text.contains(alfa2));   // no copies left
        QVERIFY(!text.contains(gamma1));  // due in April
        QVERIFY(!text.contains(beta1));   // never due
        QVERIFY(text.contains(QStringLiteral("Numeri scaduti: 1")));
    }

    // The returns of one supplier typed into the supplier box.
    void returnsOfOneSupplier() {
        QString text;
        whenModal(QStringLiteral("selezioneform"), [](QWidget* w) {
            auto* form = static_cast<Tselezioneform*>(w);
            QCOMPARE(form->windowTitle(), QStringLiteral("Stampa distinta resi"));
            QVERIFY(!form->CheckBox1->isEnabled());
            tabTo(form->Edit1);
            QTest::keyClicks(form->Edit1, QStringLiteral("002"));
            pressStampa(form);
        });
        exportPreview(&text);
        runFromKeyboard(Qt::Key_R);
        QVERIFY2(text.contains(QStringLiteral("Gamma Cucina")), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("Alfa Motori")));
        QVERIFY(!archive->data().Stampa3.isOpen());
    }

    // The labels: no selection window, no print dataset.
    void barcodeLabels() {
        QString text;
        exportPreview(&text);
        runFromKeyboard(Qt::Key_B);
        for (const QString& name : {QStringLiteral("Alfa Motori"), QStringLiteral("Beta Varie"), QStringLiteral("Gamma Cucina")})
            QVERIFY2(text.contains(name), qPrintable(text));
        QCOMPARE(selezioneform->windowTitle(), QStringLiteral("Selezione per le stampe"));
    }

    // Esc, "&Annulla" (Enter on it, where the focus is) and the close box:
    // nothing opened; the caption and page set stay.
    void cancelledSelectionOpensNothing_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Esc") << 0;
        QTest::newRow("Enter on Annulla") << 1;
        QTest::newRow("close box") << 2;
    }
    void cancelledSelectionOpensNothing() {
        QFETCH(int, how);
        bool cancelled = false;
        whenModal(QStringLiteral("selezioneform"), [how, &cancelled](QWidget* w) {
            QTRY_COMPARE(QApplication::focusWidget(), selezioneform->BitBtn1);
            if (how == 0) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            if (how == 1) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (how == 2) w->close();
            cancelled = !w->isVisible();
        });
        whenModal(QStringLiteral("reports::PreviewWindow"), [](QWidget* w) {
            QFAIL("a preview opened");
            w->close();
        }, 500);
        runFromKeyboard(Qt::Key_S);
        QVERIFY(cancelled);
        QTest::qWait(600);
        QCOMPARE(selezioneform->windowTitle(), QStringLiteral("Analisi e stampa giacenze scadute"));
        QCOMPARE(selezioneform->PageControl1->currentWidget(), selezioneform->Scaduti);
        QVERIFY(!archive->data().Stampa1.isOpen());
        QVERIFY(!menu->frReport1.hasTemplate());
    }

    void escapeInTheMagazineListGoesBackToAll() {
        selezioneform->Selriviste->setNames({QStringLiteral("Alfa Motori")});
        selezioneform->Selriviste->setCurrentIndex(1);
        selezioneform->show();
        selezioneform->Selriviste->setFocus();
        QTest::keyClick(selezioneform->Selriviste, Qt::Key_Escape);
        QCOMPARE(selezioneform->Selriviste->currentText(), QStringLiteral("(tutte)"));
        QVERIFY(selezioneform->isVisible());
        QTest::keyClick(selezioneform->Selriviste, Qt::Key_Escape);  // the second one cancels
        QVERIFY(!selezioneform->isVisible());
    }

    void missingTemplateIsReportedAndTheDatasetClosed() {
        QVERIFY(QFile::remove(archive->folder() + QStringLiteral("/Report2.frf")));
        prompts.expectError(QStringLiteral("Si è tentato di caricare da disco il report 'MenuForm.frReport1'. "
                                           "\r\nMa il file 'Report2.frf' è inesistente"));
        whenModal(QStringLiteral("selezioneform"), [](QWidget* w) { pressStampa(w); });
        runFromKeyboard(Qt::Key_M);
        QVERIFY(prompts.finished());
        QVERIFY(!archive->data().Stampa2.isOpen());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // From the keyboard the menu opens under the button; by mouse at the pointer.
    void printMenuPosition() {
        auto* button = menu->SpeedBar1->findChild<QToolButton*>(QStringLiteral("btnStampa"));
        QVERIFY(button);
        QTest::keyClick(menu.get(), Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(menu->PopupMenu1->isVisible());
        QCOMPARE(menu->PopupMenu1->pos(), button->mapToGlobal(QPoint(0, button->height())));
        QCOMPARE(menu->PopupMenu1->actions().size(), 5);
        menu->PopupMenu1->close();
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(menu->PopupMenu1->isVisible());
        QCOMPARE(menu->PopupMenu1->pos(), QCursor::pos());
        menu->PopupMenu1->close();
    }

  private:
    // Alt+T opens the print menu; `item` is the underlined letter of the list.
    void runFromKeyboard(Qt::Key item) {
        QTest::keyClick(menu.get(), Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(menu->PopupMenu1->isVisible());
        QTest::keyClick(menu->PopupMenu1, item);
        QTRY_VERIFY(!menu->PopupMenu1->isVisible());
    }

    // When the preview shows: its caption, then its text export into *text.
    void exportPreview(QString* text) {
        const QString file = archive->folder() + QStringLiteral("/lista.txt");
        whenModal(QStringLiteral("reports::PreviewWindow"), [text, file](QWidget* w) {
            auto* preview = static_cast<reports::PreviewWindow*>(w);
            QCOMPARE(preview->windowTitle(), QStringLiteral("Anteprima - Movimenti"));
            QVERIFY(preview->exportTo(file, QStringLiteral("File di testo ASCII (*.txt)")));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            *text = platform::cp1252::decode(f.readAll());  // as the export writes it
            QTest::keyClick(preview, Qt::Key_Escape);
        });
    }

    std::unique_ptr<CounterArchive> archive;
    ScriptedPrompts prompts;
    std::unique_ptr<platform::PromptsScope> scope;
    std::unique_ptr<TMenuForm> menu;
};

QTEST_MAIN(PrintCommandsTest)
#include "print_commands_test.moc"
