#include "maintenance/ui/maintenance_window.h"
#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "maintenance/backup.h"
#include "maintenance/index_rebuild.h"
#include "maintenance/ui/login_dialog.h"
#include "maintenance/purge.h"
#include "maintenance/text_export.h"
#include "platform/scripted_prompts.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using maintenance::LastUserMemory;
using maintenance::LoginDialog;

namespace {

const QString kPrompt = QStringLiteral("Reinserisci la password per confermare il cambio");
const QString kRefused = QStringLiteral("   OPERAZIONE DI CAMBIO RIFIUTATA !   ");

// What a login dialog looked like when it came up, and the keys typed into it.
struct LoginScript {
    explicit LoginScript(QStringList attempts_, QString userName_ = QString(), bool cancel_ = false)
        : attempts(std::move(attempts_)), userName(std::move(userName_)), cancel(cancel_) {}

    QStringList attempts;  // passwords, each typed over the box and confirmed with Enter
    QString userName;      // typed over the user-name box when not null
    bool cancel = false;   // Esc after the attempts

    QString offeredUser;
    bool focusInPassword = false;
};

// Clicks `button` with the operator's answers scripted: exactly these
// warnings, in this order.
void clickExpectingWarnings(QAbstractButton* button, const QStringList& warnings) {
    platform::ScriptedPrompts prompts;
    for (const QString& warning : warnings) prompts.expectWarning(warning);
    platform::PromptsScope scope(prompts);
    button->click();
    QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join(u'\n')));
}

// Plays `script` on the next login dialog once it is the active modal window.
void playOnNextLogin(LoginScript* script) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, script] {
        auto* dialog = qobject_cast<LoginDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isActiveWindow()) return;
        timer->stop();
        timer->deleteLater();
        // Never leave a test hanging on a dialog that did not close.
        QTimer::singleShot(5000, dialog, &QDialog::reject);
        script->offeredUser = dialog->UserName->text();
        script->focusInPassword = QApplication::focusWidget() == dialog->Password;
        if (!script->userName.isNull()) {
            dialog->UserName->setFocus();
            dialog->UserName->selectAll();
            QTest::keyClicks(dialog->UserName, script->userName);
        }
        QPointer<LoginDialog> alive(dialog);
        for (const QString& password : script->attempts) {
            if (!alive) return;
            dialog->Password->setFocus();
            dialog->Password->selectAll();
            QTest::keyClick(dialog->Password, Qt::Key_Backspace);
            QTest::keyClicks(dialog->Password, password);
            QTest::keyClick(dialog->Password, Qt::Key_Return);  // the default button
        }
        if (alive && script->cancel) QTest::keyClick(dialog->Password, Qt::Key_Escape);
    });
    timer->start();
}

}  // namespace

class MaintenanceFormTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir->path()));
        opened = 0;
        openResult = true;
    }
    void cleanup() {
        QDir::setCurrent(previous);
        dir.reset();
    }

    void lastUserIsOfferedWithTheFocusInThePassword() {
        const LastUserMemory memory(dir->filePath(QStringLiteral("config/Tasmero.ini")));
        auto form = makeForm();
        LoginScript first{{QStringLiteral("tasmero")}, QStringLiteral("admin")};
        playOnNextLogin(&first);
        QCOMPARE(form->login(memory), std::optional<QString>(QStringLiteral("admin")));
        QCOMPARE(first.offeredUser, QString());
        QVERIFY(!first.focusInPassword);
        QCOMPARE(memory.read(), QStringLiteral("admin"));
        QCOMPARE(form->loggedInUser(), QStringLiteral("admin"));

        LoginScript second{{QStringLiteral("tasmero")}};
        playOnNextLogin(&second);
        QCOMPARE(makeForm()->login(memory), std::optional<QString>(QStringLiteral("admin")));
        QCOMPARE(second.offeredUser, QStringLiteral("admin"));
        QVERIFY(second.focusInPassword);
        QCOMPARE(opened, 2);

        QCOMPARE(maintenance::loggedInCaption(QStringLiteral("Menu"), QStringLiteral("admin")),
                 QStringLiteral("Gestione Tasmero (admin)"));
        QCOMPARE(maintenance::loggedInCaption(QStringLiteral("Menu"), QString()),
                 QStringLiteral("Menu"));
    }

    void refusalsAndCancelEndTheLogin() {
        const LastUserMemory memory(dir->filePath(QStringLiteral("Tasmero.ini")));
        auto form = makeForm();
        LoginScript three{{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
                          QStringLiteral("admin")};
        playOnNextLogin(&three);
        QCOMPARE(form->login(memory), std::optional<QString>());
        QCOMPARE(opened, 3);  // the archives are opened on every attempt
        QVERIFY(!QFile::exists(memory.path()));

        LoginScript cancel{{}, QStringLiteral("admin"), true};
        playOnNextLogin(&cancel);
        QCOMPARE(form->login(memory), std::optional<QString>());
        QCOMPARE(opened, 3);

        // The operator refused the recovery: the dialog closes at the first "OK".
        openResult = false;
        LoginScript refused{{QStringLiteral("tasmero")}, QStringLiteral("admin")};
        playOnNextLogin(&refused);
        QCOMPARE(form->login(memory), std::optional<QString>());
        QCOMPARE(opened, 4);
    }

    void pagesAndDesignerButton() {
        auto form = makeForm({QStringLiteral("design")});
        QCOMPARE(form->windowTitle(), QStringLiteral("Manutenzione"));
        QCOMPARE(form->PageControl1->count(), 3);
        QCOMPARE(form->PageControl1->tabText(0), QStringLiteral("&Password"));
        QCOMPARE(form->PageControl1->tabText(1), QStringLiteral("&Utilit\u00e0"));
        QCOMPARE(form->PageControl1->tabText(2), QStringLiteral("&Backup"));
        QVERIFY(form->pwpw->isHidden());
        QCOMPARE(form->PW->echoMode(), QLineEdit::Password);
        QVERIFY(form->BitBtn1->isHidden());

        LoginScript ok{{QStringLiteral("tasmero")}, QStringLiteral("admin")};
        playOnNextLogin(&ok);
        QVERIFY(form->login(LastUserMemory(dir->filePath(QStringLiteral("Tasmero.ini")))));
        QVERIFY(!form->BitBtn1->isHidden());

        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QCOMPARE(form->PageControl1->currentIndex(), 0);
        QTest::keyClick(form.get(), Qt::Key_B, Qt::AltModifier);
        QCOMPARE(form->PageControl1->currentIndex(), 2);
        form->close();
        QVERIFY(!form->isVisible());
        form->show();
        QCOMPARE(form->PageControl1->currentIndex(), 2);  // the page last selected
        form->close();
    }

    void passwordChangeIsInForceAtTheNextLogin() {
        const LastUserMemory memory(dir->filePath(QStringLiteral("Tasmero.ini")));
        auto form = makeForm();
        LoginScript ok{{QStringLiteral("tasmero")}, QStringLiteral("admin")};
        playOnNextLogin(&ok);
        QVERIFY(form->login(memory));
        const QString original = form->settings().storedPassword();

        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QCOMPARE(form->Codice->text(), QStringLiteral("admin"));
        QTest::keyClicks(form->PW, QStringLiteral("nuova"));
        {
            // A different confirmation, and "Cancel", change nothing.
            platform::ScriptedPrompts prompts;
            prompts.expectInput(QStringLiteral("Conferma"), kPrompt, QStringLiteral("nuov"))
                .expectWarning(kRefused)
                .expectInput(QStringLiteral("Conferma"), kPrompt, QString())
                .expectWarning(kRefused);
            platform::PromptsScope scope(prompts);
            pressButton1(form.get());
            pressButton1(form.get());
            QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join('\n')));
            QCOMPARE(form->pwpw->text(), original);
        }
        {
            platform::ScriptedPrompts prompts;
            prompts.expectInput(QStringLiteral("Conferma"), kPrompt, QStringLiteral("nuova"));
            platform::PromptsScope scope(prompts);
            pressButton1(form.get());
            QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join('\n')));
        }
        QCOMPARE(form->cipher().DecodeText(form->pwpw->text()), QStringLiteral("nuova"));
        QCOMPARE(form->PW->text(), QStringLiteral("nuova"));
        // Not in the file before the window closes.
        QVERIFY(!settingsFile().contains(form->pwpw->text().toLatin1()));
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        QVERIFY(settingsFile().contains("pwpw_Caption=" + form->pwpw->text().toLatin1() + "\r\n"));
        QVERIFY(settingsFile().contains("Codice_Text=admin\r\n"));

        // A new program run: a new store on the same file.
        LoginScript next{{QStringLiteral("tasmero"), QStringLiteral("nuova")}};
        playOnNextLogin(&next);
        auto again = makeForm();
        QCOMPARE(again->login(memory), std::optional<QString>(QStringLiteral("admin")));
        QCOMPARE(opened, 3);  // one refusal with the old password, then accepted
    }

    void emptyPasswordConfirmedByCancel() {
        auto form = makeForm();
        LoginScript ok{{QStringLiteral("tasmero")}, QStringLiteral("admin")};
        playOnNextLogin(&ok);
        QVERIFY(form->login(LastUserMemory(dir->filePath(QStringLiteral("Tasmero.ini")))));
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        platform::ScriptedPrompts prompts;
        prompts.expectInput(QStringLiteral("Conferma"), kPrompt, QString());
        platform::PromptsScope scope(prompts);
        pressButton1(form.get());
        QVERIFY(prompts.finished());
        QCOMPARE(form->pwpw->text(), QString());
        form->close();
        QVERIFY(settingsFile().contains("pwpw_Caption=\r\n"));
    }

    void edittedUserNameAndUnwritableFile() {
        auto form = makeForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->Codice->selectAll();
        QTest::keyClicks(form->Codice, QStringLiteral("mario"));
        form->close();
        QVERIFY(settingsFile().contains("Codice_Text=mario\r\n"));

        const QString folder = dir->filePath(QStringLiteral("missing/"));
        form->settings().setFolder(folder);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        platform::ScriptedPrompts prompts;
        prompts.expectError(
            QStringLiteral("Unable to write to %1")
                .arg(QDir::toNativeSeparators(folder + QStringLiteral("tasmerocfg.ini"))));
        platform::PromptsScope scope(prompts);
        form->close();
        QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join('\n')));
        QVERIFY(!form->isVisible());  // closed all the same
    }

    // Restoring the window after minimising it is not a new showing: a
    // password changed a moment ago stays, and the file is not read again.
    // The two media buttons on a real data module: the tables are closed while
    // the cabinet is written and read, and open again afterwards.
    void mediaBackupAndRestoreButtons() {
        archive::createMissingTables(dir->path());
        TData1 data(dir->path());
        Data1 = &data;
        data.openTables();
        data.Riviste.append();
        data.Riviste.setText(QStringLiteral("BARCODE"), QStringLiteral("9771234567003"));
        data.Riviste.setText(QStringLiteral("NOME"), QStringLiteral("Prima"));
        data.Riviste.post();
        auto form = makeForm({});
        const QString media = dir->filePath(QStringLiteral("stick"));
        QVERIFY(QDir().mkpath(media));
        maintenance::MediaFolderSetting setting(
            dir->filePath(QStringLiteral("cfg/TasmeroBackup.ini")));
        setting.write(media);
        form->setMediaSetting(setting);
        QCOMPARE(form->MediaFolder->text(), media);
        QVERIFY(form->BitBtn4->isEnabled() && form->BitBtn5->isEnabled());
        clickExpectingWarnings(form->BitBtn4,
                               {maintenance::insertBlankMediaText(media), maintenance::kTransferDone});
        QVERIFY(data.mainTablesOpen());
        QVERIFY(QFile::exists(QDir(media).filePath(maintenance::kBackupFileName)));

        // A magazine added after the backup is gone after the restore.
        data.Riviste.append();
        data.Riviste.setText(QStringLiteral("BARCODE"), QStringLiteral("9771234567010"));
        data.Riviste.setText(QStringLiteral("NOME"), QStringLiteral("Seconda"));
        data.Riviste.post();
        QCOMPARE(data.Riviste.recordCount(), 2);
        clickExpectingWarnings(form->BitBtn5,
                               {maintenance::insertBackupMediaText(media), maintenance::kRestoreDone});
        QVERIFY(data.mainTablesOpen());
        data.Riviste.first();
        QCOMPARE(data.Riviste.recordCount(), 1);
        QCOMPARE(data.Riviste.text(QStringLiteral("NOME")), QStringLiteral("Prima"));
        QVERIFY(!QApplication::overrideCursor());
        data.closeTables();
        Data1 = nullptr;
    }

    // Purge and export from the Utilità page, then the rebuild, on a real
    // data module.
    void purgeAndExportButtons() {
        archive::createMissingTables(dir->path());
        TData1 data(dir->path());
        Data1 = &data;
        data.openTables();
        data.Giornale.append();
        data.Giornale.setText(QStringLiteral("BARCODE2"), QStringLiteral("977123456700300001"));
        data.Giornale.setDate(QStringLiteral("DATA"), QDate(2026, 3, 10));
        data.Giornale.post();
        auto form = makeForm({});
        QVERIFY(form->DateEdit1->text().trimmed().isEmpty());
        {
            platform::ScriptedPrompts prompts;  // no date: no question
            platform::PromptsScope scope(prompts);
            form->Button2->click();
            QVERIFY(prompts.finished());
        }
        form->DateEdit1->setDate(QDate(2026, 3, 10));
        {
            platform::ScriptedPrompts prompts;
            prompts.expectQuestion(maintenance::kPurgeQuestion, true)
                .expectWarning(maintenance::kPurgeDone)
                .expectWarning(maintenance::exportDoneText(dir->path()));
            platform::PromptsScope scope(prompts);
            form->Button2->click();
            form->BitBtn2->click();
            QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join(u'\n')));
        }
        QCOMPARE(data.Giornale.recordCount(), 0);
        QVERIFY(QFile::exists(dir->filePath(maintenance::kMovementExportName)));
        clickExpectingWarnings(form->BitBtn3, {maintenance::kRebuildDone});
        QCOMPARE(form->Button1->text(), QStringLiteral("... giacenza3 ... OK"));
        QVERIFY(data.mainTablesOpen());
        QCOMPARE(data.Giornale.table().recordCount(), 0u);
        QVERIFY(!QApplication::overrideCursor());
        data.closeTables();
        Data1 = nullptr;
    }

    void restoredAfterMinimisingKeepsWhatIsOnThePage() {
        auto form = makeForm();
        LoginScript ok{{QStringLiteral("tasmero")}, QStringLiteral("admin")};
        playOnNextLogin(&ok);
        QVERIFY(form->login(LastUserMemory(dir->filePath(QStringLiteral("Tasmero.ini")))));
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClicks(form->PW, QStringLiteral("nuova"));
        {
            platform::ScriptedPrompts prompts;
            prompts.expectInput(QStringLiteral("Conferma"), kPrompt, QStringLiteral("nuova"));
            platform::PromptsScope scope(prompts);
            pressButton1(form.get());
            QVERIFY(prompts.finished());
        }
        const QString changed = form->pwpw->text();
        QFile file(dir->filePath(QStringLiteral("tasmerocfg.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Tasmero]\r\nCodice_Text=altro\r\npwpw_Caption=oYuKndyaUg==\r\n");
        file.close();

        form->showMinimized();
        QTRY_VERIFY(form->isMinimized());
        form->showNormal();
        QTRY_VERIFY(!form->isMinimized());
        QTest::qWait(20);
        QCOMPARE(form->pwpw->text(), changed);
        QCOMPARE(form->Codice->text(), QStringLiteral("admin"));
        form->close();
        QVERIFY(settingsFile().contains("pwpw_Caption=" + changed.toLatin1() + "\r\n"));
    }

  private:
    std::unique_ptr<TManutenzioneForm> makeForm(QStringList arguments = {}) {
        return std::make_unique<TManutenzioneForm>(std::move(arguments), [this] {
            ++opened;
            return openResult;
        });
    }
    QByteArray settingsFile() const {
        QFile f(dir->filePath(QStringLiteral("tasmerocfg.ini")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The keyboard way to the button: Tab from the password box, then Space.
    static void pressButton1(TManutenzioneForm* form) {
        form->PW->setFocus();
        QTest::keyClick(form->PW, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->Button1);
        QTest::keyClick(form->Button1, Qt::Key_Space);
    }

    std::unique_ptr<QTemporaryDir> dir;
    QString previous;
    int opened = 0;
    bool openResult = true;
};

QTEST_MAIN(MaintenanceFormTest)
#include "maintenance_window_test.moc"
