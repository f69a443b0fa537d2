#include "platform/ui/single_instance.h"

#include <QApplication>
#include <QDialog>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

// The test binary is also the "other copy": started with --copy it plays one.
//   --copy second NAME : exit 0 when it is not first and the running copy confirmed,
//                        1 when it was first, 2 when nobody answered.
//   --copy hold NAME   : takes the guard, prints "first" or "second", then waits
//                        to be killed.
static int runCopy(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString role = QString::fromLocal8Bit(argv[2]);
    platform::SingleInstance guard(QString::fromLocal8Bit(argv[3]));
    if (role == QLatin1String("second")) {
        if (guard.isFirst()) return 1;
        return guard.notifyRunningCopy(10000) ? 0 : 2;
    }
    std::printf("%s\n", guard.isFirst() ? "first" : "second");
    std::fflush(stdout);
    return QApplication::exec();
}

namespace {

int serial = 0;

QString uniqueExeName() {
    return QStringLiteral("tasmero-guard-%1-%2.exe")
        .arg(QCoreApplication::applicationPid())
        .arg(++serial);
}

std::unique_ptr<QProcess> startCopy(const QString& role, const QString& name) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--copy"), role, name});
    return process;
}

// Exit code of a copy playing "second", or -1 when it did not finish.
int secondCopyResult(const QString& name) {
    auto copy = startCopy(QStringLiteral("second"), name);
    // The running copy answers from its event loop, so wait in one.
    if (!QTest::qWaitFor([&] { return copy->state() == QProcess::NotRunning; }, 15000)) {
        copy->kill();
        copy->waitForFinished();
        return -1;
    }
    return copy->exitStatus() == QProcess::NormalExit ? copy->exitCode() : -1;
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
  private slots:
    void keyedByExecutableFileName() {
        const QString name = uniqueExeName();
        auto first = std::make_unique<platform::SingleInstance>(name);
        QVERIFY(first->isFirst());
        platform::SingleInstance again(name);
        QVERIFY(!again.isFirst());
        platform::SingleInstance otherExecutable(uniqueExeName());
        QVERIFY(otherExecutable.isFirst());

        first.reset();  // the running copy ends: the next start is first again
        platform::SingleInstance next(name);
        QVERIFY(next.isFirst());
        QVERIFY(!next.notifyRunningCopy());  // the first copy has nobody to ask
    }

    void secondCopyAsksTheFirstAndEnds() {
        const QString name = uniqueExeName();
        platform::SingleInstance guard(name);
        QVERIFY(guard.isFirst());
        QSignalSpy requests(&guard, &platform::SingleInstance::activationRequested);
        QCOMPARE(secondCopyResult(name), 0);
        QCOMPARE(requests.count(), 1);
        QCOMPARE(secondCopyResult(name), 0);  // and again: the first keeps listening
        QCOMPARE(requests.count(), 2);
        QCOMPARE(secondCopyResult(uniqueExeName()), 1);  // another file name: a first copy
    }

    // What the running copy shows when asked: the main window restored, or the
    // modal dialog in front of it (the login dialog at start-up), restored too.
    void runningCopyComesToTheFront_data() {
        QTest::addColumn<QString>("scene");
        QTest::newRow("main window minimised") << QStringLiteral("main");
        QTest::newRow("login dialog minimised") << QStringLiteral("login");
        QTest::newRow("modal window over minimised main window") << QStringLiteral("modal");
    }
    void runningCopyComesToTheFront() {
        QFETCH(QString, scene);
        const QString name = uniqueExeName();
        platform::SingleInstance guard(name);
        QVERIFY(guard.isFirst());

        QWidget main;
        main.setWindowTitle(QStringLiteral("Gestione Tasmero"));
        main.resize(300, 200);
        std::unique_ptr<QDialog> dialog;
        QWidget* expected = &main;
        if (scene != QLatin1String("login")) {
            main.show();
            QVERIFY(QTest::qWaitForWindowExposed(&main));
        }
        if (scene != QLatin1String("main")) {
            // The login dialog has no owner; a command's window has the main window.
            dialog = std::make_unique<QDialog>(scene == QLatin1String("modal") ? &main : nullptr);
            dialog->setWindowModality(scene == QLatin1String("modal") ? Qt::WindowModal
                                                                      : Qt::ApplicationModal);
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            expected = dialog.get();
        }
        if (scene == QLatin1String("login")) {
            dialog->showMinimized();
        } else {
            main.showMinimized();
        }
        QTRY_VERIFY(scene == QLatin1String("login") ? dialog->isMinimized() : main.isMinimized());
        // Some other window is active now; the modal one must still win.
        QWidget other;
        if (scene == QLatin1String("modal")) {
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
        }

        QCOMPARE(platform::SingleInstance::frontWindow(), expected);
        QCOMPARE(secondCopyResult(name), 0);
        QTRY_COMPARE(QApplication::activeWindow(), expected);
        QVERIFY(!expected->isMinimized());
        QVERIFY(!main.isMinimized());
    }

    // A copy that crashed leaves its lock and socket behind; the next start must
    // still be the first copy, and answer later copies.
    void lockOfACrashedCopyIsStale() {
        const QString name = uniqueExeName();
        auto crashing = startCopy(QStringLiteral("hold"), name);
        QVERIFY(crashing->waitForStarted());
        QVERIFY(crashing->waitForReadyRead(15000));
        QCOMPARE(crashing->readLine().trimmed(), QByteArray("first"));
        {
            platform::SingleInstance whileItRuns(name);
            QVERIFY(!whileItRuns.isFirst());
        }
        crashing->kill();  // no clean-up runs
        QVERIFY(crashing->waitForFinished());

        platform::SingleInstance restarted(name);
        QVERIFY(restarted.isFirst());
        QSignalSpy requests(&restarted, &platform::SingleInstance::activationRequested);
        QCOMPARE(secondCopyResult(name), 0);
        QCOMPARE(requests.count(), 1);
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--copy") == 0) return runCopy(argc, argv);
    QApplication app(argc, argv);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "single_instance_test.moc"
