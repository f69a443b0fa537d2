#include "shell/startup.h"
#include "support/upgrade_support.h"
#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "archive/dbase/engine_settings.h"
#include "maintenance/backup.h"
#include "maintenance/ui/login_dialog.h"
#include "maintenance/ui/maintenance_window.h"
#include "maintenance/upgrade.h"
#include "support/operator.h"
#include "platform/ui/enter_as_tab.h"
#include "platform/ini_file.h"
#include "platform/ui/single_instance.h"
#include "shell/engine_setting.h"
#include "shell/main_window.h"
#include "shell/termination.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <stdexcept>

using maintenance::LastUserMemory;
using maintenance::LoginDialog;
using shell::Startup;

namespace {

const QString kLogin = QStringLiteral("RxLoginDialog1");
const QString kQuestion = QStringLiteral("Mymsg: ") + maintenance::kRecoveryQuestion;

// Types each password over the login dialog's box and confirms it with Enter;
// Esc at the end when `cancel`.
Operator::Action login(QStringList passwords, bool cancel = false) {
    return [passwords, cancel](QWidget* w) {
        QPointer<LoginDialog> dialog = qobject_cast<LoginDialog*>(w);
        QVERIFY(dialog);
        dialog->UserName->setFocus();
        dialog->UserName->selectAll();
        QTest::keyClicks(dialog->UserName, QStringLiteral("admin"));
        for (const QString& password : passwords) {
            if (!dialog) return;
            dialog->Password->setFocus();
            dialog->Password->selectAll();
            QTest::keyClick(dialog->Password, Qt::Key_Backspace);
            QTest::keyClicks(dialog->Password, password);
            QTest::keyClick(dialog->Password, Qt::Key_Return);
        }
        if (dialog && cancel) QTest::keyClick(dialog->Password, Qt::Key_Escape);
    };
}

// The program's windows as they come on screen.
class ShownWindows : public QObject {
  public:
    ShownWindows() { qApp->installEventFilter(this); }
    ~ShownWindows() override { qApp->removeEventFilter(this); }
    QStringList names;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow() && !watched->objectName().isEmpty())
            names << watched->objectName();
        return false;
    }
};

QStringList visibleWindows() {
    QStringList out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowType() != Qt::ToolTip) out << w->objectName();
    }
    return out;
}

void damage(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(32, '\x7f'));
}

shell::StartupOptions optionsFor(const QString& folder, const QString& exeName) {
    shell::StartupOptions o;
    o.folder = folder;
    o.executableFileName = exeName;
    o.engineSettingsPath = QDir(folder).filePath(QStringLiteral("config/TableEngine.ini"));
    o.lastUser = LastUserMemory(QDir(folder).filePath(QStringLiteral("config/Tasmero.ini")));
    return o;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        previous = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QCOMPARE(archive::createMissingTables(dir->path()), 3);
        // Never leave a test hanging on a window that did not close.
        QTimer::singleShot(20000, this, [] { shell::Termination::request(); });
    }
    void cleanup() {
        QDir::setCurrent(previous);
        dir.reset();
    }

    // Login, caption, the running program, and the exit with its backup.
    void fromStartToExit() {
        bool splashUp = false, menuHidden = false, dataReady = false, tablesClosed = false;
        Operator op;
        op.then(kLogin, [&](QWidget* w) {
            for (QWidget* t : QApplication::topLevelWidgets())
                splashUp =
                    splashUp || (t->objectName() == QStringLiteral("SplashForm") && t->isVisible());
            menuHidden = MenuForm && !MenuForm->isVisible();
            dataReady = Data1 != nullptr;
            tablesClosed = Data1 && !Data1->Riviste.isOpen();
            login({QStringLiteral("tasmero")})(w);
        });
        Startup startup(options());
        QVERIFY(startup.run());
        QCOMPARE(op.log, QStringList{kLogin});
        QVERIFY(splashUp && menuHidden && dataReady && tablesClosed);
        QCOMPARE(visibleWindows(), QStringList());
        QCOMPARE(MenuForm->windowTitle(), QStringLiteral("Gestione Tasmero (admin)"));
        QVERIFY(Data1->mainTablesOpen());
        QVERIFY(engineFile().contains("LOCAL SHARE=TRUE"));
        QVERIFY(dbase::localShare());

        QStringList ran;
        bool tabRuleOn = false;
        MenuForm->setCommandHandler(MenuForm->actCarico,
                                    [&ran] { ran << QStringLiteral("actCarico"); });
        runWhenActive([&] {
            tabRuleOn = MenuForm->EnterAsTab1->isOn();
            // The scanner's code and its Enter; then Enter on the empty field.
            QTest::keyClicks(MenuForm->Edit1, QStringLiteral("111"));
            QTest::keyClick(MenuForm->Edit1, Qt::Key_Return);
            QTRY_COMPARE(ran, QStringList{QStringLiteral("actCarico")});
            QTRY_COMPARE(QApplication::focusWidget(), MenuForm->Edit1);
            QVERIFY(MenuForm->Edit1->text().isEmpty());
            QTest::keyClick(MenuForm->Edit1, Qt::Key_Return);
            QTest::qWait(50);
            QCOMPARE(ran.size(), 1);
            QCOMPARE(QApplication::focusWidget(), MenuForm->Edit1);
            QTest::keyClick(MenuForm, Qt::Key_U, Qt::AltModifier);  // "&Uscita"
        });
        QCOMPARE(startup.exec(), 0);
        QVERIFY(tabRuleOn);
        QVERIFY(!Data1->mainTablesOpen());
        QVERIFY(QFile::exists(file(maintenance::kBackupFileName)));
    }

    // Cancel, three refusals, or a refused recovery: the program ends and the
    // main window is never seen.
    void failedLoginsEndTheProgram_data() {
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("cancel") << QStringList() << true << false << QStringList{kLogin};
        QTest::newRow("three refusals")
            << QStringList{"a", "b", "TASMERO"} << false << false << QStringList{kLogin};
        QTest::newRow("recovery refused")
            << QStringList{"tasmero", "tasmero"} << false << true << QStringList{kLogin, kQuestion};
    }
    void failedLoginsEndTheProgram() {
        QFETCH(QStringList, passwords);
        QFETCH(bool, cancel);
        QFETCH(bool, damaged);
        QFETCH(QStringList, log);
        if (damaged) damage(file(QStringLiteral("Giacenza3.DBF")));
        ShownWindows shown;
        Operator op;
        op.then(kLogin, login(passwords, cancel));
        if (damaged) op.thenKey(QStringLiteral("Mymsg"), Qt::Key_N);  // "&No"
        Startup startup(options());
        QVERIFY(!startup.run());
        QCOMPARE(op.log, log);
        QVERIFY(shell::Termination::requested());
        QCOMPARE(startup.exec(), 0);
        QVERIFY(!shown.names.contains(QStringLiteral("MenuForm")));
        QCOMPARE(visibleWindows(), QStringList());
    }

    void upgradeWindow_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("Annulla l'operazione") << false;
        QTest::newRow("Esegui aggiornamento") << true;
    }
    void upgradeWindow() {
        QFETCH(bool, accept);
        upgrade_test::makeVersion2Installation(dir->path());
        const QStringList before = upgrade_test::folderFiles(dir->path());
        Operator op;
        op.then(QStringLiteral("from2to3"), [accept](QWidget* w) {
            if (!accept) QTest::keyClick(w, Qt::Key_Tab);  // to "Annulla l'operazione"
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        if (accept) {
            op.thenKey(QStringLiteral("PlainMessage"), Qt::Key_Return)
                .then(kLogin, login({QStringLiteral("tasmero")}));
        }
        Startup startup(options());
        QCOMPARE(startup.run(), accept);
        if (!accept) {
            QCOMPARE(op.log, QStringList{QStringLiteral("from2to3")});
            QCOMPARE(upgrade_test::folderFiles(dir->path()), before);
            return;
        }
        QCOMPARE(op.log,
                 (QStringList{QStringLiteral("from2to3"),
                              QStringLiteral("PlainMessage: ") + maintenance::kUpgradeDoneText,
                              kLogin}));
        QVERIFY(!maintenance::hasVersion2Archive(dir->path()));
        QCOMPARE(Data1->Riviste.recordCount(), 2);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // With the engine's settings unwritable, the error box, and no upgrade.
    void engineSettingThatCannotBeWritten() {
        upgrade_test::makeVersion2Installation(dir->path());
        QFile blocker(file(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Operator op;
        op.thenKey(QStringLiteral("ErrorBox"), Qt::Key_Return).then(kLogin, login({}, true));
        shell::StartupOptions o = options();
        o.engineSettingsPath = file(QStringLiteral("blocker/TableEngine.ini"));
        Startup startup(std::move(o));
        QVERIFY(!startup.run());
        QCOMPARE(op.log,
                 (QStringList{QStringLiteral("ErrorBox: Failed to set data for 'LOCAL SHARE'"),
                              kLogin}));
        QVERIFY(maintenance::hasVersion2Archive(dir->path()));

        // The engine honours the file, also a value set there by hand.
        const QString path = file(QStringLiteral("engine.ini"));
        shell::writeLocalShare(path);
        platform::IniFile ini(path);
        ini.load();
        ini.writeString(QStringLiteral("SYSTEM\\INIT"), shell::kLocalShare,
                        QStringLiteral("false"));
        ini.save();
        shell::applyEngineSettings(path);
        QVERIFY(!dbase::localShare());
        shell::writeLocalShare(path);
        shell::applyEngineSettings(path);
        QVERIFY(dbase::localShare());
    }

    // A damaged table at login, with a wrong password first: the question,
    // the archives of the last backup, and the login goes on.
    void recoveryFromTheLastBackup() {
        upgrade_test::runSql(
            dir->path(),
            "insert into riviste3 (barcode, nome) values ('9771234567003', 'Cucina Facile')");
        maintenance::makeShutdownBackup(dir->path());
        damage(file(QStringLiteral("Giacenza3.DBF")));
        Operator op;
        op.then(kLogin, login({QStringLiteral("sbagliata"), QStringLiteral("tasmero")}))
            .thenKey(QStringLiteral("Mymsg"), Qt::Key_Return);  // "&Sì"
        Startup startup(options());
        QVERIFY(startup.run());
        QCOMPARE(op.log, (QStringList{kLogin, kQuestion}));
        QVERIFY(Data1->mainTablesOpen());
        QCOMPARE(Data1->Riviste.recordCount(), 1);
    }

    // An opening that fails with an error of any kind, not only the
    // engine's, leads to the recovery question.
    void anyOpeningErrorAsksForTheRecovery() {
        upgrade_test::runSql(
            dir->path(), "insert into giacenza3 (barcode2, giacenza) values ('9771234567003', 1)");
        Operator op;
        op.then(kLogin, [](QWidget* w) {
              Data1->Giacenza.calcFields = [](dbase::Cursor&) {
                  throw std::runtime_error("not an engine error");
              };
              login({QStringLiteral("tasmero")})(w);
          }).thenKey(QStringLiteral("Mymsg"), Qt::Key_N);  // "&No"
        Startup startup(options());
        QVERIFY(!startup.run());
        QCOMPARE(op.log, (QStringList{kLogin, kQuestion}));
    }

    // Without a backup each "&Sì" ends in the cabinet error, and three of
    // them end the program.
    void recoveryWithoutABackup() {
        damage(file(QStringLiteral("Giornale3.DBF")));
        Operator op;
        op.then(kLogin, login({QStringLiteral("tasmero"), QStringLiteral("tasmero"),
                               QStringLiteral("tasmero")}));
        for (int i = 0; i < 3; ++i)
            op.thenKey(QStringLiteral("Mymsg"), Qt::Key_Return)
                .thenKey(QStringLiteral("ErrorBox"), Qt::Key_Return);
        Startup startup(options());
        QVERIFY(!startup.run());
        QCOMPARE(op.log.size(), 7);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(op.log[1 + 2 * i], kQuestion);
            QVERIFY2(op.log[2 + 2 * i].startsWith(QStringLiteral("ErrorBox: Cabinet not found")),
                     qPrintable(op.log[2 + 2 * i]));
        }
        QVERIFY(!Data1->Riviste.isOpen());
    }

    // Enter in an edit box moves on, Enter on a button presses it; closing a
    // window brings the main window back with the settings read again.
    void keyboardInTheRunningProgram() {
        Operator op;
        op.then(kLogin, login({QStringLiteral("tasmero")}));
        Startup startup(options());
        QVERIFY(startup.run());

        QWidget* focusOnPress = nullptr;
        QString userAfterInfo;
        op.then(QStringLiteral("frmInfo"),
                [&](QWidget*) {
                    // Changed behind the program's back while a window is open.
                    platform::IniFile ini(file(QStringLiteral("tasmerocfg.ini")));
                    ini.load();
                    ini.writeString(QStringLiteral("Tasmero"), QStringLiteral("Codice_Text"),
                                    QStringLiteral("mario"));
                    ini.save();
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                })
            .then(QStringLiteral("ManutenzioneForm"),
                  [&](QWidget*) {
                      // The pages' tabs come first, then the page.
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                      QCOMPARE(QApplication::focusWidget(), ManutenzioneForm->Codice);
                      QTest::keyClick(ManutenzioneForm->Codice, Qt::Key_Return);
                      QTRY_COMPARE(QApplication::focusWidget(), ManutenzioneForm->PW);
                      QTest::keyClicks(ManutenzioneForm->PW, QStringLiteral("nuova"));
                      QTest::keyClick(ManutenzioneForm->PW, Qt::Key_Tab);
                      QCOMPARE(QApplication::focusWidget(), ManutenzioneForm->Button1);
                      QTest::keyClick(ManutenzioneForm->Button1, Qt::Key_Return);
                  })
            .then(QStringLiteral("InputBox"),
                  [&](QWidget* w) {
                      focusOnPress = ManutenzioneForm->focusWidget();
                      QTest::keyClick(w, Qt::Key_Escape);
                  })
            .then(QStringLiteral("Mymsg"), [](QWidget* w) {
                QCOMPARE(Operator::describe(w),
                         QStringLiteral("Mymsg: ") +
                             QStringLiteral("   OPERAZIONE DI CAMBIO RIFIUTATA !   "));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                QTimer::singleShot(100, ManutenzioneForm,
                                   [] { QTest::keyClick(ManutenzioneForm, Qt::Key_Escape); });
            });
        runWhenActive([&] {
            QTest::keyClick(MenuForm, Qt::Key_I, Qt::AltModifier);  // "&Info"
            QTRY_VERIFY(MenuForm->isActiveWindow());
            QTRY_COMPARE(ManutenzioneForm->settings().userName(), QStringLiteral("mario"));
            QTRY_COMPARE(QApplication::focusWidget(), MenuForm->Edit1);
            userAfterInfo = ManutenzioneForm->settings().userName();

            QTest::keyClick(MenuForm, Qt::Key_M, Qt::AltModifier);  // "&Manutenz."
            QTRY_VERIFY(op.done());
            QTRY_VERIFY(!ManutenzioneForm->isVisible());
            QTRY_COMPARE(QApplication::focusWidget(), MenuForm->Edit1);
            MenuForm->close();
        });
        QCOMPARE(startup.exec(), 0);
        QCOMPARE(op.log,
                 (QStringList{kLogin, QStringLiteral("frmInfo"), QStringLiteral("ManutenzioneForm"),
                              QStringLiteral("InputBox"),
                              QStringLiteral("Mymsg:    OPERAZIONE DI CAMBIO RIFIUTATA !   ")}));
        QCOMPARE(userAfterInfo, QStringLiteral("mario"));
        QCOMPARE(focusOnPress, ManutenzioneForm ? ManutenzioneForm->Button1 : focusOnPress);
    }

    // A settings file that cannot be read is reported once: closing the error
    // box activates the main window again, and that is no new failure.
    void unreadableSettingsGiveOneErrorBox() {
        Operator op;
        op.then(kLogin, login({QStringLiteral("tasmero")}));
        Startup startup(options());
        QVERIFY(startup.run());
        const QString settings = file(QStringLiteral("tasmerocfg.ini"));
        op.then(QStringLiteral("frmInfo"), [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); })
            .thenKey(QStringLiteral("ErrorBox"), Qt::Key_Return)
            .thenKey(QStringLiteral("ErrorBox"), Qt::Key_Return);
        runWhenActive([&] {
            QFile::remove(settings);
            QVERIFY(QDir().mkdir(settings));                        // there, and unreadable
            QTest::keyClick(MenuForm, Qt::Key_I, Qt::AltModifier);  // "&Info", and back
            QTRY_VERIFY(op.log.size() >= 3);
            QTest::qWait(300);
            QTRY_VERIFY(MenuForm->isActiveWindow());
            // Readable again, then unreadable again: a new failure, one more box.
            QVERIFY(QDir().rmdir(settings));
            MenuForm->FormActivate();
            QVERIFY(QDir().mkdir(settings));
            MenuForm->FormActivate();
            QTRY_VERIFY(op.log.size() >= 4);
            QTest::qWait(300);
            QVERIFY(QDir().rmdir(settings));
            MenuForm->close();
        });
        QCOMPARE(startup.exec(), 0);
        const QString error = QStringLiteral("ErrorBox: Unable to read ") +
                              QDir::toNativeSeparators(settings) + QLatin1Char('.');
        QCOMPARE(op.log, (QStringList{kLogin, QStringLiteral("frmInfo"), error, error}));
    }

    // A table found closed at the exit: its warning, the hint, no backup,
    // and the program ends.
    void exitWithADamagedTable() {
        Operator op;
        op.then(kLogin, login({QStringLiteral("tasmero")}));
        Startup startup(options());
        QVERIFY(startup.run());
        QFile old(file(maintenance::kBackupFileName));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the last valid shutdown");
        old.close();
        op.thenKey(QStringLiteral("Mymsg"), Qt::Key_Return)
            .thenKey(QStringLiteral("PlainMessage"), Qt::Key_Return);
        runWhenActive([] {
            Data1->Giornale.close();
            QTest::keyClick(MenuForm, Qt::Key_U, Qt::AltModifier);
        });
        QCOMPARE(startup.exec(), 0);
        QCOMPARE(op.log,
                 (QStringList{kLogin, QStringLiteral("Mymsg: ") + maintenance::kGiornaleDamaged,
                              QStringLiteral("PlainMessage: ") + maintenance::kRepairHint}));
        QVERIFY(!MenuForm->isVisible());
        QCOMPARE(old.open(QIODevice::ReadOnly) ? old.readAll() : QByteArray(),
                 QByteArray("the last valid shutdown"));
    }

    // A backup that cannot be written: the error, and the window stays open
    // with the archives closed; the next exit finds all three closed and ends.
    void exitWhoseBackupFails() {
        Operator op;
        op.then(kLogin, login({QStringLiteral("tasmero")}));
        Startup startup(options());
        QVERIFY(startup.run());
        QVERIFY(QDir(dir->path()).mkdir(maintenance::kBackupFileName));  // no file can go there
        op.thenKey(QStringLiteral("ErrorBox"), Qt::Key_Return);
        for (int i = 0; i < 3; ++i) op.thenKey(QStringLiteral("Mymsg"), Qt::Key_Return);
        op.thenKey(QStringLiteral("PlainMessage"), Qt::Key_Return);
        bool stillOpen = false;
        runWhenActive([&] {
            QTest::keyClick(MenuForm, Qt::Key_U, Qt::AltModifier);
            QTRY_COMPARE(op.log.size(), 2);
            QTRY_VERIFY(MenuForm->isActiveWindow());
            stillOpen = MenuForm->isVisible() && !MenuForm->SpeedBar1->isEnabled() &&
                        !Data1->Riviste.isOpen() && QApplication::overrideCursor() == nullptr;
            QTest::keyClick(MenuForm, Qt::Key_U, Qt::AltModifier);
        });
        QCOMPARE(startup.exec(), 0);
        QVERIFY(stillOpen);
        QCOMPARE(op.log.size(), 6);
        QVERIFY2(op.log[1].startsWith(QStringLiteral("ErrorBox: ")), qPrintable(op.log[1]));
        QCOMPARE(op.log.mid(2),
                 (QStringList{QStringLiteral("Mymsg: ") + maintenance::kRivisteDamaged,
                              QStringLiteral("Mymsg: ") + maintenance::kGiacenzaDamaged,
                              QStringLiteral("Mymsg: ") + maintenance::kGiornaleDamaged,
                              QStringLiteral("PlainMessage: ") + maintenance::kRepairHint}));
        QVERIFY(!MenuForm->isVisible());
    }

    // A second copy asks this one to come to the front and ends, showing
    // nothing but its splash window.
    void secondCopy() {
        const QString name = exeName();
        platform::SingleInstance running(name);
        QVERIFY(running.isFirst());
        QSignalSpy asked(&running, &platform::SingleInstance::activationRequested);
        QProcess copy;
        copy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copy.start(QCoreApplication::applicationFilePath(),
                   {QStringLiteral("--second-copy"), dir->path(), name});
        QVERIFY(QTest::qWaitFor([&] { return copy.state() == QProcess::NotRunning; }, 15000));
        QCOMPARE(copy.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(copy.readAllStandardOutput()).trimmed(),
                 QStringLiteral("run=0 shown=SplashForm"));
        QCOMPARE(asked.count(), 1);
    }

  private:
    shell::StartupOptions options() { return optionsFor(dir->path(), exeName()); }
    QString exeName() {
        return QStringLiteral("startup-test-%1-%2")
            .arg(QCoreApplication::applicationPid())
            .arg(++copies);
    }
    QString file(const QString& name) const { return dir->filePath(name); }
    QByteArray engineFile() const {
        QFile f(file(QStringLiteral("config/TableEngine.ini")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Runs `work` once the main window is up and active with the focus in
    // its scan field.
    void runWhenActive(std::function<void()> work) {
        auto* poll = new QTimer(this);
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, this, [poll, work] {
            if (!MenuForm || !MenuForm->isActiveWindow() ||
                QApplication::focusWidget() != MenuForm->Edit1)
                return;
            poll->stop();
            poll->deleteLater();
            work();
        });
        poll->start();
    }

    std::unique_ptr<QTemporaryDir> dir;
    QString previous;
    int copies = 0;
};

// The second copy: a start-up in the folder and with the executable name the
// test gives, telling what it showed.
int secondCopyMain(int argc, char** argv) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = app.arguments();
    ShownWindows shown;
    bool result = true;
    {
        Startup startup(optionsFor(args.at(2), args.at(3)));
        result = startup.run();
        if (result) startup.exec();
    }
    QTextStream(stdout) << "run=" << int(result) << " shown=" << shown.names.join(u',') << "\n";
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--second-copy") return secondCopyMain(argc, argv);
    QApplication app(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
