#include "maintenance/ui/login_dialog.h"
#include "platform/error.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using maintenance::CheckResult;
using maintenance::LoginDialog;

namespace {

// Presses Enter on whatever modal box shows up next (the error box).
void acknowledgeNextBox(QStringList* seen) {
    QTimer::singleShot(0, [seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *seen << box->text();
            box->accept();
        }
    });
}

}  // namespace

class LoginDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void focusFollowsTheRememberedUser() {
        for (const QString& last : {QString(), QStringLiteral("mario")}) {
            LoginDialog dialog(QStringLiteral("Gestione Tasmero"), last,
                               [](const QString&, const QString&) { return CheckResult::Refused; });
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Registration"));
            QCOMPARE(dialog.UserName->text(), last);
            QCOMPARE(QApplication::focusWidget(),
                     last.isEmpty() ? dialog.UserName : dialog.Password);
        }
    }

    void acceptsOnTheAttemptThatMatches() {
        QStringList calls;
        LoginDialog dialog(QStringLiteral("Gestione Tasmero"), QStringLiteral("mario"),
                           [&calls](const QString& user, const QString& password) {
                               calls << user + QLatin1Char('/') + password;
                               return user == QLatin1String("mario") &&
                                              password == QLatin1String("pw")
                                          ? CheckResult::Allowed
                                          : CheckResult::Refused;
                           });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClicks(dialog.Password, QStringLiteral("bad"));
        QTest::keyClick(dialog.Password, Qt::Key_Return);  // the default button
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.Password->text(), QStringLiteral("bad"));  // boxes stay as typed
        dialog.Password->clear();
        QTest::keyClicks(dialog.Password, QStringLiteral("pw"));
        QTest::keyClick(dialog.Password, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(calls, (QStringList{"mario/bad", "mario/pw"}));
    }

    void threeRefusalsCancel() {
        int calls = 0;
        LoginDialog dialog(QStringLiteral("Gestione Tasmero"), QString(),
                           [&calls](const QString&, const QString&) {
                               if (++calls == 2)
                                   throw platform::Error(QStringLiteral("Input is not valid"));
                               return CheckResult::Refused;
                           });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QStringList errors;
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        acknowledgeNextBox(&errors);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);    // the error counts as a refusal
        QCOMPARE(errors, QStringList{"Input is not valid."});  // the error box's full stop
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(calls, 3);
    }

    // Minimising and restoring the dialog does not give three more attempts.
    void restoringKeepsTheAttemptCount() {
        int calls = 0;
        LoginDialog dialog(QStringLiteral("Gestione Tasmero"), QString(),
                           [&calls](const QString&, const QString&) {
                               ++calls;
                               return CheckResult::Refused;
                           });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        dialog.showMinimized();
        QTRY_VERIFY(dialog.isMinimized());
        dialog.showNormal();
        QTRY_VERIFY(!dialog.isMinimized());
        QTest::qWait(20);
        QCOMPARE(dialog.attempts(), 2);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(calls, 3);
    }

    // Whatever the check raises is shown in the error box and counts as a
    // refusal; nothing leaves the handler.
    void anyErrorOfTheCheckIsARefusal() {
        int calls = 0;
        LoginDialog dialog(QStringLiteral("Gestione Tasmero"), QString(),
                           [&calls](const QString&, const QString&) -> CheckResult {
                               if (++calls == 1) throw std::runtime_error("disk exploded");
                               throw 42;
                           });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QStringList errors;
        acknowledgeNextBox(&errors);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        acknowledgeNextBox(&errors);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.first(), QStringLiteral("disk exploded."));
        QCOMPARE(dialog.attempts(), 2);
        QVERIFY(dialog.isVisible());
    }

    void cancelAndEscape() {
        for (bool useEscape : {false, true}) {
            bool called = false;
            LoginDialog dialog(QStringLiteral("Gestione Tasmero"), QString(),
                               [&called](const QString&, const QString&) {
                                   called = true;
                                   return CheckResult::Allowed;
                               });
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            if (useEscape)
                QTest::keyClick(dialog.UserName, Qt::Key_Escape);
            else
                QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QVERIFY(!called);
        }
    }
};

QTEST_MAIN(LoginDialogTest)
#include "login_dialog_test.moc"
