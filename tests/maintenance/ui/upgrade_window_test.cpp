#include "maintenance/ui/upgrade_window.h"
#include "maintenance/upgrade.h"
#include "platform/scripted_prompts.h"
#include "support/upgrade_support.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace upgrade_test;

class UpgradeFormTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        makeVersion2Installation(dir->path());
    }
    void cleanup() {
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        dir.reset();
    }

    // Keys typed once the window is up: Enter presses the focused button.
    void answers_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("breakGiacenza");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("version2Left");
        QTest::newRow("run") << int(Qt::Key_Return) << false << maintenance::kUpgradeDoneText
                             << int(Tfrom2to3::mrOk) << false;
        QTest::newRow("run fails") << int(Qt::Key_Return) << true << maintenance::kUpgradeFailedText
                                   << int(Tfrom2to3::mrAbort) << true;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << false << QString()
                             << int(Tfrom2to3::mrCancel) << true;
        QTest::newRow("Annulla") << int(Qt::Key_Tab) << false << QString()
                                 << int(Tfrom2to3::mrCancel) << true;
    }
    void answers() {
        QFETCH(int, key);
        QFETCH(bool, breakGiacenza);
        QFETCH(QString, message);
        QFETCH(int, result);
        QFETCH(bool, version2Left);
        if (breakGiacenza) QVERIFY(QFile::remove(QDir(dir->path()).filePath("Giacenza.DBF")));
        const QStringList before = folderFiles(dir->path());

        platform::ScriptedPrompts prompts;
        if (!message.isNull()) prompts.expectMessage(message);
        platform::PromptsScope scope(prompts);
        Tfrom2to3 form(dir->path());
        QCOMPARE(form.size(), QSize(298, 101));
        QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
        QWidget* focusAtStart = nullptr;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, &form, [&] {
            if (!form.isActiveWindow() || !QApplication::focusWidget()) return;
            poll.stop();
            focusAtStart = QApplication::focusWidget();
            QTest::keyClick(focusAtStart, Qt::Key(key));
            // Tab moved to "Annulla l'operazione": press it with the space bar.
            if (key == Qt::Key_Tab) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        });
        poll.start();
        QTimer::singleShot(5000, &form, [&form] { form.done(Tfrom2to3::mrNone); });
        QCOMPARE(form.exec(), result);
        QCOMPARE(focusAtStart, form.BitBtn1);
        QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join('\n')));
        QCOMPARE(maintenance::hasVersion2Archive(dir->path()), version2Left);
        if (result == Tfrom2to3::mrCancel) QCOMPARE(folderFiles(dir->path()), before);
    }

  private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(UpgradeFormTest)
#include "upgrade_window_test.moc"
