// An error raised in a handler is shown inside that handler and never
// reaches Qt's dispatch: a command button of the main window, the main
// window's scan field and the stock-in window's barcode field each fail on an
// archive whose tables were closed under them. Each time the error is shown
// once, the window stays open and the program takes the next key.
#include "movements/ui/new_magazine_window.h"
#include "movements/ui/stock_in_window.h"
#include "platform/scripted_prompts.h"
#include "shell/counter_commands.h"
#include "shell/main_window.h"
#include "support/counter_archive.h"

#include <QApplication>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

namespace {

// Counts every exception that would have crossed Qt's own frames.
class CountingApplication : public QApplication {
  public:
    using QApplication::QApplication;
    int escaped = 0;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            ++escaped;
            return true;
        }
    }
};

CountingApplication* app() {
    return static_cast<CountingApplication*>(QCoreApplication::instance());
}

const QString kMag = QStringLiteral("9771234567003");
const QString kIssue = kMag + QStringLiteral("00042");

}  // namespace

class SlotGuardTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        archive = std::make_unique<counter_test::CounterArchive>();
        archive->addMagazine({kMag, QStringLiteral("Panorama"), 3.5, 2.45, QStringLiteral("S"), {}});
        prompts = std::make_unique<platform::ScriptedPrompts>();
        scope = std::make_unique<platform::PromptsScope>(*prompts);
        app()->escaped = 0;
    }
    void cleanup() {
        scope.reset();
        prompts.reset();
        archive.reset();
    }

    void mainWindowButtonAndScanField() {
        TMenuForm menu;
        installMovementCommands(menu);
        createFrmaddone(&menu);
        menu.show();
        menu.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&menu));
        archive->data().closeTables();

        // The "&Carico" button: preparing the tables fails before the window opens.
        prompts->expectError(std::nullopt);
        QToolButton* carico = nullptr;
        for (QToolButton* b : menu.findChildren<QToolButton*>())
            if (b->defaultAction() == menu.actCarico) carico = b;
        QVERIFY(carico);
        QTest::mouseClick(carico, Qt::LeftButton);
        QCOMPARE(prompts->pending(), 0);
        QVERIFY(!frmCarico);

        // An issue scanned at the main window: its history cannot be read.
        prompts->expectError(std::nullopt);
        QTRY_COMPARE(QApplication::focusWidget(), menu.Edit1);
        QTest::keyClicks(menu.Edit1, kIssue);
        QTest::keyClick(menu.Edit1, Qt::Key_Tab);
        QCOMPARE(prompts->pending(), 0);

        // The handler ended at the failing step; the window is open and the
        // program takes the next scan, which fails the same way.
        QVERIFY(menu.isVisible());
        prompts->expectError(std::nullopt);
        menu.Edit1->clear();
        menu.Edit1->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), menu.Edit1);
        QTest::keyClicks(menu.Edit1, kIssue);
        QTest::keyClick(menu.Edit1, Qt::Key_Tab);
        QCOMPARE(prompts->pending(), 0);
        QVERIFY2(prompts->finished(), qPrintable(prompts->failures().join(u'\n')));
        QCOMPARE(app()->escaped, 0);
    }

    void barcodeFieldExit() {
        TfrmCarico window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_COMPARE(QApplication::focusWidget(), window.Caricobarcode);
        archive->data().closeTables();

        prompts->expectError(std::nullopt);
        QTest::keyClicks(window.Caricobarcode, kIssue);
        QTest::keyClick(window.Caricobarcode, Qt::Key_Tab);
        QCOMPARE(prompts->pending(), 0);
        QVERIFY(window.isVisible());
        QVERIFY2(prompts->finished(), qPrintable(prompts->failures().join(u'\n')));
        QCOMPARE(app()->escaped, 0);
    }

  private:
    std::unique_ptr<counter_test::CounterArchive> archive;
    std::unique_ptr<platform::ScriptedPrompts> prompts;
    std::unique_ptr<platform::PromptsScope> scope;
};

int main(int argc, char** argv) {
    CountingApplication application(argc, argv);
    SlotGuardTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "slot_guard_test.moc"
