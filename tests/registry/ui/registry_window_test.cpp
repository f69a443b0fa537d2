// The magazine registry driven from the keyboard, as the operator works it:
// the menu's access keys for the commands, Tab and Enter between the boxes,
// the prompts answered from a script, the three tables read back from disk.
// The regional settings are Italian: a comma is the decimal sign.
#include "registry/ui/registry_window.h"
#include "support/counter_archive.h"
#include "support/modal_driver.h"
#include "platform/ui/enter_as_tab.h"
#include "platform/program_locale.h"
#include "platform/scripted_prompts.h"
#include "shell/startup.h"
#include "ui/cursor_table_model.h"
#include "ui/db_combo_box.h"
#include "ui/db_edit.h"
#include "ui/db_navigator.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace counter_test;
using platform::ScriptedPrompts;

namespace {

const QString kRequired = QStringLiteral("   Obbligatorio inserire il BARCODE   ");
const QString kDuplicate = QStringLiteral("   ID rivista duplicato !   ");
const QString kFixed =
    QStringLiteral("   Non puoi cambiare il codice di una rivista gia' registrata !   ");
const QString kCloseQuestion = QStringLiteral("   Confermi le modifiche alla rivista ?   ");

// ALFA (with stock and movements), BETA, GAMMA in name order.
const Magazine kAlfa{"9771000000001", "ALFA", 2.5, 1.25, "M", "D01"};
const Magazine kBeta{"9772000000002", "BETA", 3, 0, "S", "D02"};
const Magazine kGamma{"9773000000003", "GAMMA", 12.75, 0, "X", ""};

void fill(CounterArchive& archive) {
    archive.addMagazine(kGamma);
    archive.addMagazine(kAlfa);
    archive.addMagazine(kBeta);
    for (const char* key : {"977100000000100001", "977100000000100002"}) {
        archive.addStock({key, 3, 2.5, 1.25, QDate(2024, 3, 1), QDate(2024, 3, 31)});
        archive.addMovement({key, QDate(2024, 3, 1), 3, 2.5, 1.25, "C"});
    }
    archive.addMovement({"977100000000100001", QDate(2024, 3, 2), -1, 2.5, 1.25, "S"});
    archive.addStock({"977200000000200001", 5, 3, 0, QDate(2024, 3, 1), QDate(2024, 3, 8)});
    archive.addMovement({"977200000000200001", QDate(2024, 3, 1), 5, 3, 0, "C"});
    archive.data().Riviste.setIndex(QStringLiteral("NOME"));
    archive.data().Riviste.first();
}

// A command from the menu bar: Alt and the menu's letter, then the item's letter.
void command(QWidget* window, Qt::Key menu, Qt::Key item) {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, menu,
                    Qt::AltModifier);
    QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
    QTest::keyClick(QApplication::activePopupWidget(), item);
    QTRY_VERIFY(!QApplication::activePopupWidget());
    // A desktop gives the window back its activation when the menu closes;
    // the offscreen platform does not.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}
void nuovo(QWidget* w) {
    command(w, Qt::Key_R, Qt::Key_N);
}
void modifica(QWidget* w) {
    command(w, Qt::Key_R, Qt::Key_M);
}
void elimina(QWidget* w) {
    command(w, Qt::Key_R, Qt::Key_L);
}
void elenco(QWidget* w) {
    command(w, Qt::Key_R, Qt::Key_E);
}

// An access key of a button; the button answers after its pressed look.
void altKey(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
    QTest::qWait(200);
}
void conferma() {
    altKey(Qt::Key_C);
}
void annulla() {
    altKey(Qt::Key_A);
}

void typeInto(QLineEdit* box, const QString& text) {
    QTRY_COMPARE(QApplication::focusWidget(), box);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

}  // namespace

class RegistryWindowTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<CounterArchive> archive;
    std::unique_ptr<TfrmAnagrafica> window;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<platform::PromptsScope> scope;

    TfrmAnagrafica* open(bool filled = true) {
        archive = std::make_unique<CounterArchive>();
        if (filled) fill(*archive);
        prompts = std::make_unique<ScriptedPrompts>();
        scope = std::make_unique<platform::PromptsScope>(*prompts);
        window = std::make_unique<TfrmAnagrafica>();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get())) return nullptr;
        return window.get();
    }
    // The files as they are, read afresh with the window's grid off them.
    OnDisk disk() {
        window->RivisteModel->release();
        OnDisk d = archive->onDisk();
        window->RivisteModel->reload();
        return d;
    }
    QString current() { return archive->data().Riviste.text(QStringLiteral("NOME")); }

  private slots:
    void initTestCase() {
        platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy));
        auto* enterAsTab = new platform::EnterAsTab(qApp);
        enterAsTab->switchOn();
    }

    void cleanup() {
        window.reset();
        scope.reset();
        if (prompts) QVERIFY2(prompts->finished(), qPrintable(prompts->failures().join('\n')));
        prompts.reset();
        archive.reset();
    }

    void opensOnTheCurrentMagazineInBrowseMode() {
        TfrmAnagrafica* w = open();
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Anagrafica Riviste"));
        QCOMPARE(w->Notebook1->currentWidget(), w->SINGOLO);
        QCOMPARE(w->size(), w->normalSize());
        QVERIFY(w->normalSize().width() >= 428);
        QCOMPARE(w->EditNOME->text(), QStringLiteral("ALFA"));
        QCOMPARE(w->EditPREZZO->text(), QStringLiteral("2,50"));  // display picture
        QCOMPARE(w->EditPERIODO->currentText(), QStringLiteral("Mensile"));
        QVERIFY(w->EditNOME->isReadOnly());
        QVERIFY(!w->btnConferma->isVisible() && !w->btnAnnulla->isVisible());
        QVERIFY(w->actEsci->isEnabled() && w->DBNav->isEnabled());
        QCOMPARE(w->actElimina->toolTip(), QStringLiteral("Elimina"));
        QCOMPARE(w->actElimina->statusTip(),
                 QStringLiteral("Permette di cancellare la rivista selezionata"));
        QCOMPARE(w->DBNav->button(ui::DbNavigator::Next)->toolTip(),
                 QStringLiteral("Vai allla successiva"));
        // The long part of a hint under the mouse shows in the status bar.
        QTest::mouseMove(w->ToolBar1->widgetForAction(w->actNuovo));
        QTRY_COMPARE(w->StatusBar1->currentMessage(),
                     QStringLiteral("Permette l'inserimento di una nuova rivista"));
        // Typing outside editing mode changes nothing.
        w->EditNOME->setFocus();
        QTest::keyClicks(w->EditNOME, QStringLiteral("XX"));
        QCOMPARE(w->EditNOME->text(), QStringLiteral("ALFA"));
        // The navigator walks in name order; an unknown code shows no entry.
        w->DBNav->btnClick(ui::DbNavigator::Last);
        QCOMPARE(w->EditNOME->text(), QStringLiteral("GAMMA"));
        QCOMPARE(w->EditPERIODO->currentIndex(), -1);
        QVERIFY(!w->DBNav->button(ui::DbNavigator::Next)->isEnabled());
        w->DBNav->btnClick(ui::DbNavigator::Prior);
        QCOMPARE(w->EditNOME->text(), QStringLiteral("BETA"));
    }

    void createsAndModifiesAMagazineFromTheKeyboard() {
        TfrmAnagrafica* w = open();
        QVERIFY(w);
        nuovo(w);
        QVERIFY(w->editing());
        QVERIFY(w->btnConferma->isVisible() && w->btnAnnulla->isVisible());
        for (QAction* a : {w->actEsci, w->actNuovo, w->actModifica, w->actElimina, w->actElenco})
            QVERIFY(!a->isEnabled());
        QVERIFY(!w->DBNav->isEnabled());
        QCOMPARE(w->size(), w->normalSize());
        typeInto(w->EditCODE, QStringLiteral("97740000000049"));  // one too many: 13 fit
        QCOMPARE(w->EditCODE->text(), QStringLiteral("9774000000004"));
        QTest::keyClick(w->EditCODE, Qt::Key_Return);  // Enter moves on like Tab
        typeInto(w->EditNOME, QStringLiteral("DELTA"));
        QTest::keyClick(w->EditNOME, Qt::Key_Tab);
        typeInto(w->EditPREZZO, QStringLiteral("1.8"));  // "." enters the comma
        QCOMPARE(w->EditPREZZO->text(), QStringLiteral("1,8"));
        QTest::keyClick(w->EditPREZZO, Qt::Key_Tab);
        typeInto(w->EditACQUISTO, QStringLiteral("0,9"));
        QTest::keyClick(w->EditACQUISTO, Qt::Key_Tab);
        typeInto(w->EditFORN, QStringLiteral("D0999"));
        QCOMPARE(w->EditFORN->text(), QStringLiteral("D09"));
        QTest::keyClick(w->EditFORN, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), w->EditPERIODO);
        QTest::keyClicks(w->EditPERIODO, QStringLiteral("Qui"));
        QCOMPARE(w->EditPERIODO->currentText(), QStringLiteral("Quindicinale"));
        conferma();  // from the list, without leaving it: Conferma hands every box over
        QVERIFY(!w->editing());

        OnDisk d = disk();
        QCOMPARE(d.magazines.size(), size_t(4));
        const auto delta = d.magazine(QStringLiteral("9774000000004"));
        QVERIFY(delta);
        QCOMPARE(delta->nome, QStringLiteral("DELTA"));
        QCOMPARE(delta->prezzo, 1.8);
        QCOMPARE(delta->acquisto, 0.9);
        QCOMPARE(delta->fornitore, QStringLiteral("D09"));
        QCOMPARE(delta->periodicit, QStringLiteral("D"));

        // The price of ALFA, typed with the point on an Italian keyboard.
        archive->data().Riviste.first();
        w->DataRiviste->notifyRecordChanged();
        modifica(w);
        QTRY_COMPARE(QApplication::focusWidget(), w->EditNOME);
        QCOMPARE(w->EditPREZZO->text(), QStringLiteral("2,5"));  // edit picture
        QTest::keyClick(w->EditNOME, Qt::Key_Tab);
        typeInto(w->EditPREZZO, QStringLiteral("2.75"));
        QTest::keyClick(w->EditPREZZO, Qt::Key_Tab);
        conferma();
        QVERIFY(!w->editing());
        QCOMPARE(w->EditPREZZO->text(), QStringLiteral("2,75"));
        d = disk();
        QCOMPARE(d.magazine(kAlfa.barcode)->prezzo, 2.75);
        QCOMPARE(d.magazine(kAlfa.barcode)->nome, QStringLiteral("ALFA"));
    }

    void confermaRunsItsTestsInOrder_data() {
        QTest::addColumn<bool>("filled");
        QTest::addColumn<bool>("modify");      // Modifica on ALFA, else Nuovo
        QTest::addColumn<QString>("barcode");  // typed into the barcode box
        QTest::addColumn<bool>("leaveBox");    // Tab out of the box before Conferma
        QTest::addColumn<QString>("message");  // empty: saved
        QTest::addColumn<int>("magazines");    // on disk afterwards

        QTest::newRow("no barcode") << true << false << "" << true << kRequired << 3;
        QTest::newRow("blanks pass the first test") << true << false << "   " << true << "" << 4;
        QTest::newRow("duplicate") << true << false << kBeta.barcode << true << kDuplicate << 3;
        QTest::newRow("apostrophe is just a character")
            << true << false << "12'45" << true << "" << 4;
        QTest::newRow("new barcode confirmed inside its box")
            << true << false << "9775000000005" << false << "" << 4;
        QTest::newRow("stored barcode changed and left")
            << true << true << "9779999999999" << true << kFixed << 3;
        QTest::newRow("stored barcode changed in its box")
            << true << true << "9779999999999" << false << kFixed << 3;
        QTest::newRow("modify runs no duplicate test")
            << true << true << kAlfa.barcode << true << "" << 3;
        QTest::newRow("Modifica on an empty register is Nuovo")
            << false << true << "9776000000006" << true << "" << 1;
    }
    void confermaRunsItsTestsInOrder() {
        QFETCH(bool, filled);
        QFETCH(bool, modify);
        QFETCH(QString, barcode);
        QFETCH(bool, leaveBox);
        QFETCH(QString, message);
        QFETCH(int, magazines);

        TfrmAnagrafica* w = open(filled);
        QVERIFY(w);
        if (modify) {
            modifica(w);
            w->EditCODE->setFocus();
        } else {
            nuovo(w);
        }
        typeInto(w->EditCODE, barcode);
        if (leaveBox) QTest::keyClick(w->EditCODE, Qt::Key_Tab);
        if (!message.isEmpty()) prompts->expectWarning(message);
        conferma();
        QCOMPARE(w->editing(), !message.isEmpty());
        if (w->editing()) {
            // Refused: nothing stored, and Annulla gives the stored values back.
            annulla();
            QVERIFY(!w->editing());
            if (modify) QCOMPARE(w->EditCODE->text(), kAlfa.barcode);
        }
        const OnDisk d = disk();
        QCOMPARE(int(d.magazines.size()), magazines);
        if (filled) QVERIFY(d.magazine(kAlfa.barcode));
        // The magazine keeps its stock and movements whatever was refused.
        if (filled) QCOMPARE(d.stock.size(), size_t(3));
    }

    void deletesThroughTheCascadeRule() {
        TfrmAnagrafica* w = open();
        QVERIFY(w);
        QCOMPARE(current(), QStringLiteral("ALFA"));
        const QString question =
            QStringLiteral("   Confermi la cancellazione della rivista \"ALFA\" ?   ");
        prompts->expectWarning(TData1::cascadeWarningText()).expectQuestion(question, false);
        elimina(w);
        QVERIFY(prompts->finished());
        QCOMPARE(current(), QStringLiteral("ALFA"));
        OnDisk d = disk();
        QCOMPARE(d.magazines.size(), size_t(3));
        QCOMPARE(d.stock.size(), size_t(3));
        QCOMPARE(d.journal.size(), size_t(4));

        archive->data().Riviste.first();
        w->DataRiviste->notifyRecordChanged();
        prompts->expectWarning(TData1::cascadeWarningText()).expectQuestion(question, true);
        elimina(w);
        QVERIFY(!w->editing());
        QCOMPARE(w->EditNOME->text(), QStringLiteral("BETA"));
        d = disk();
        QCOMPARE(d.magazines.size(), size_t(2));
        QVERIFY(!d.magazine(kAlfa.barcode));
        QCOMPARE(d.stock.size(), size_t(1));  // BETA's only
        QCOMPARE(d.journal.size(), size_t(1));
        QCOMPARE(d.stock[0].key.left(13), kBeta.barcode);
    }

    void eliminaOnAnEmptyRegisterIsAnError() {
        TfrmAnagrafica* w = open(false);
        QVERIFY(w);
        prompts->expectError(QStringLiteral("Cannot perform this operation on an empty dataset"));
        elimina(w);
        QVERIFY(!w->editing());
        QVERIFY(w->isVisible());
    }

    void searchesEachColumn_data() {
        QTest::addColumn<int>("column");  // reached with the arrow keys from the name
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("found");  // empty: the not-found message
        QTest::newRow("barcode") << 0 << "Barcode"
                                 << "2000"
                                 << "BETA";
        QTest::newRow("name, lower case") << 1 << "Nome Rivista"
                                          << "amm"
                                          << "GAMMA";
        QTest::newRow("price with the decimal comma") << 2 << "Prezzo"
                                                      << "2,5"
                                                      << "ALFA";
        QTest::newRow("price in the general format") << 2 << "Prezzo"
                                                     << "12,75"
                                                     << "GAMMA";
        QTest::newRow("supplier") << 3 << "Forn."
                                  << "d02"
                                  << "BETA";
        QTest::newRow("cost") << 4 << "Costo"
                              << "1,25"
                              << "ALFA";
        QTest::newRow("periodicity is the code") << 5 << "Period."
                                                 << "s"
                                                 << "BETA";
        QTest::newRow("periodicity is not the name") << 5 << "Period."
                                                     << "Mensile"
                                                     << "";
    }
    void searchesEachColumn() {
        QFETCH(int, column);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QFETCH(QString, found);
        TfrmAnagrafica* w = open();
        QVERIFY(w);
        elenco(w);
        QCOMPARE(w->Notebook1->currentWidget(), w->LISTA);
        QVERIFY(w->windowState() & Qt::WindowMaximized);
        QTRY_COMPARE(QApplication::focusWidget(), w->RivisteGrid);
        QCOMPARE(w->RivisteGrid->currentIndex().column(), 1);
        const Qt::Key arrow = column < 1 ? Qt::Key_Left : Qt::Key_Right;
        for (int i = 0; i < qAbs(column - 1); ++i) QTest::keyClick(w->RivisteGrid, arrow);
        QCOMPARE(w->lblCampoRicerca->text(), label);
        QTest::keyClick(w->RivisteGrid, Qt::Key_Tab);
        typeInto(w->ediRicerca, text);
        QTest::keyClick(w->ediRicerca, Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget(), w->btnRicerca);
        if (found.isEmpty())
            prompts->expectWarning(
                QStringLiteral("   Nessuna presenza di \"%1\" trovata!   ").arg(text.toUpper()));
        QTest::keyClick(w->btnRicerca, Qt::Key_Return);
        QCOMPARE(current(), found.isEmpty() ? QStringLiteral("GAMMA") : found);
        // The grid shows the magazine found selected, the single page it too.
        QCOMPARE(w->RivisteModel
                     ->data(w->RivisteGrid->currentIndex().siblingAtColumn(1), Qt::DisplayRole)
                     .toString(),
                 current());
        QCOMPARE(w->EditNOME->text(), current());
    }

    void continuesTheSearchToTheEnd() {
        TfrmAnagrafica* w = open();
        QVERIFY(w);
        archive->addMagazine({"9774000000004", "PERCHÈ", 1, 0, "M", ""});
        archive->addMagazine({"9775000000005", "perchè no", 1, 0, "M", ""});
        w->RivisteModel->reload();
        elenco(w);
        // A click on another column, then Elenco: the search is on the name again.
        QTest::keyClick(w->RivisteGrid, Qt::Key_Right);
        QCOMPARE(w->lblCampoRicerca->text(), QStringLiteral("Prezzo"));
        elenco(w);
        QCOMPARE(w->lblCampoRicerca->text(), QStringLiteral("Nome Rivista"));
        QCOMPARE(w->lblCampoRicerca1->text(), QStringLiteral("NOME"));

        w->ediRicerca->setText(QStringLiteral("A"));
        w->btnRicerca->click();
        QCOMPARE(current(), QStringLiteral("ALFA"));
        QStringList seen;
        prompts->expectWarning(QStringLiteral("   Nessun altra presenza di \"A\" trovata!   "));
        for (int i = 0; i < 4 && prompts->pending() > 0; ++i) {
            w->btnRicerca1->click();
            seen << current();
        }
        // After the last "A", the search fails on to the end of the register.
        QCOMPARE(seen, QStringList({"BETA", "GAMMA", QStringLiteral("perchè no")}));

        // è does not find È: only a to z change case.
        w->ediRicerca->setText(QStringLiteral("perchè"));
        w->btnRicerca->click();
        QCOMPARE(current(), QStringLiteral("perchè no"));
        w->ediRicerca->setText(QStringLiteral("PERCHÈ"));
        w->btnRicerca->click();
        QCOMPARE(current(), QStringLiteral("PERCHÈ"));

        // A double click shows the single page again, at its normal size.
        const QModelIndex cell = w->RivisteGrid->currentIndex();
        const QPoint at = w->RivisteGrid->visualRect(cell).center();
        QTest::mouseClick(w->RivisteGrid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w->RivisteGrid->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(w->Notebook1->currentWidget(), w->SINGOLO);
        QTRY_COMPARE(w->size(), w->normalSize());
        QCOMPARE(w->EditNOME->text(), QStringLiteral("PERCHÈ"));
    }

    void closingWhileEditingAsks_data() {
        QTest::addColumn<QString>("barcode");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("magazines");
        QTest::newRow("yes saves a sound record") << "9778000000008" << true << true << 4;
        QTest::newRow("yes keeps a refused one open") << kBeta.barcode << true << false << 3;
        QTest::newRow("no discards") << "9778000000008" << false << true << 3;
    }
    void closingWhileEditingAsks() {
        QFETCH(QString, barcode);
        QFETCH(bool, yes);
        QFETCH(bool, closes);
        QFETCH(int, magazines);
        TfrmAnagrafica* w = open();
        QVERIFY(w);
        nuovo(w);
        typeInto(w->EditCODE, barcode);
        QTest::keyClick(w->EditCODE, Qt::Key_Tab);
        typeInto(w->EditNOME, QStringLiteral("OMEGA"));
        prompts->expectQuestion(kCloseQuestion, yes);
        if (!closes) prompts->expectWarning(kDuplicate);
        w->close();
        QCOMPARE(w->isVisible(), !closes);
        QCOMPARE(w->editing(), !closes);
        if (!closes) {
            annulla();
            w->close();
            QVERIFY(!w->isVisible());
        }
        QCOMPARE(archive->data().Riviste.state(), dbase::Cursor::State::Browse);
        QCOMPARE(int(disk().magazines.size()), magazines);
    }

    void theArchivioCommandOrdersByName() {
        archive = std::make_unique<CounterArchive>();
        fill(*archive);
        archive->data().Riviste.setIndex(QStringLiteral("BARCODE"));
        QWidget owner;
        QStringList names;
        whenModal(QStringLiteral("frmAnagrafica"), [&names](QWidget* widget) {
            auto* w = static_cast<TfrmAnagrafica*>(widget);
            for (int r = 0; r < w->RivisteModel->rowCount(); ++r)
                names << w->RivisteModel->data(w->RivisteModel->index(r, 1), Qt::DisplayRole)
                             .toString();
            w->close();
        });
        shell::actArchivioExecute(&owner);
        QCOMPARE(names, QStringList({"ALFA", "BETA", "GAMMA"}));
        QVERIFY(!frmAnagrafica);
        QCOMPARE(archive->data().Riviste.indexName(), QStringLiteral("NOME"));
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(RegistryWindowTest)
#include "registry_window_test.moc"
