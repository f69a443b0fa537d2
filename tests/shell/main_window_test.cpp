#include "shell/main_window.h"
#include "archive/archive_files.h"
#include "archive/data_module.h"
#include "maintenance/backup.h"
#include "platform/scripted_prompts.h"
#include "shell/application.h"
#include "ui/message_box.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class MenuFormTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        form = std::make_unique<TMenuForm>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        QTRY_COMPARE(QApplication::focusWidget(), form->Edit1);
    }
    void cleanup() { form.reset(); }

    void scanCodesRunTheirCommands_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("history");
        QTest::newRow("111") << "111" << "actCarico" << "";
        QTest::newRow("222") << "222" << "actReso" << "";
        QTest::newRow("333") << "333" << "actScarico" << "";
        QTest::newRow("111 with blank") << "111 " << "" << "";
        QTest::newRow("18") << "977112233400100005" << "" << "977112233400100005";
        QTest::newRow("15") << "977112233400101" << "" << "977112233400101";
        QTest::newRow("13") << "9771122334001" << "" << "9771122334001";
        QTest::newRow("8") << "12345670" << "" << "12345670";
        QTest::newRow("17") << "97711223340010000" << "" << "";
        QTest::newRow("empty") << "" << "" << "";
    }
    void scanCodesRunTheirCommands() {
        QFETCH(QString, code);
        QFETCH(QString, command);
        QFETCH(QString, history);
        QStringList ran;
        for (QAction* a : {form->actCarico, form->actReso, form->actScarico}) {
            a->setEnabled(true);
            connect(a, &QAction::triggered, this, [&ran, a] { ran << a->objectName(); });
        }
        QStringList looked;
        form->showIssueHistory = [&looked](const QString& key) { looked << key; };

        QTest::keyClicks(form->Edit1, code);  // the scanner types like a keyboard
        QTest::keyClick(form->Edit1, Qt::Key_Tab);

        QCOMPARE(ran, command.isEmpty() ? QStringList() : QStringList{command});
        QCOMPARE(looked, history.isEmpty() ? QStringList() : QStringList{history});
        QVERIFY(form->Edit1->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), form->Edit1);
    }

    void captionsAndHints() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Menu"));
        QCOMPARE(form->actCarico->text(), QStringLiteral("&Carico"));
        QCOMPARE(form->actCarico->toolTip(), QStringLiteral("Carico Riviste"));
        QCOMPARE(form->actCarico->statusTip(),
                 QStringLiteral("Programma per il carico del magazzino riviste"));
    }

    void errorBoxAddsAFullStop_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Table is busy" << "Table is busy.";
        QTest::newRow("full stop") << "Done." << "Done.";
        QTest::newRow("bang") << "Attenzione!" << "Attenzione!";
        QTest::newRow("closing paren") << "(x)" << "(x)";
        QTest::newRow("digit") << "code 0x12" << "code 0x12.";
        QTest::newRow("empty") << "" << "";
    }
    void errorBoxAddsAFullStop() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ui::errorBoxText(message), shown);
    }

    // Tables a run never opened through the data module, or whose opening
    // failed, are not packed: backup.cab keeps the last good copy. Once they
    // open cleanly the exit packs them, and names a file it had to leave out.
    void exitPacksOnlyTablesThatOpenedCleanly() {
        QTemporaryDir dir;
        QCOMPARE(archive::createMissingTables(dir.path()), 3);
        const QString cabinet = QDir(dir.path()).filePath(maintenance::kBackupFileName);
        QFile old(cabinet);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the last good backup");
        old.close();
        shell::setProgramFolder(dir.path() + QLatin1Char('/'));
        TData1 data(dir.path());
        Data1 = &data;
        platform::ScriptedPrompts prompts;
        platform::Prompts* previous = platform::setPrompts(&prompts);

        for (dbase::Cursor* c : {&data.Riviste, &data.Giacenza, &data.Giornale}) c->open();
        QVERIFY(data.mainTablesOpen() && !data.tablesOpenedCleanly());
        prompts.expectWarning(maintenance::kTablesNotOpenedCleanly)
            .expectMessage(maintenance::kRepairHint);
        form->FormClose();
        QVERIFY(prompts.finished());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the last good backup"));
        old.close();

        data.openTables();
        QFile stray(QDir(dir.path()).filePath(QStringLiteral("Copia\\Riviste3.DBF")));
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();
        prompts.expectWarning(maintenance::skippedFilesWarning({QStringLiteral("Copia\\Riviste3.DBF")}));
        form->FormClose();
        QVERIFY(prompts.finished());
        QVERIFY(!data.mainTablesOpen());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(old.read(4) == QByteArray("MSCF"));
        platform::setPrompts(previous);
    }

private:
    std::unique_ptr<TMenuForm> form;
};

QTEST_MAIN(MenuFormTest)
#include "main_window_test.moc"
