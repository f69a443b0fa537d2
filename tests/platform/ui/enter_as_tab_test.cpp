#include "platform/ui/enter_as_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

namespace {

// A button class of its own: not one of the excluded classes.
class AnswerButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;
};

// No Q_OBJECT: to the rule it is still a QPushButton.
class PlainSubclassButton : public QPushButton {
  public:
    using QPushButton::QPushButton;
};

class KeyCounter : public QObject {
  public:
    int enterPresses = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return) {
            ++enterPresses;
        }
        return false;
    }
};

// A window with a column of controls; `first` takes the focus.
struct Window {
    std::unique_ptr<QWidget> widget;
    QVBoxLayout* layout;

    explicit Window(QWidget* top = nullptr) : widget(top ? top : new QWidget) {
        layout = new QVBoxLayout(widget.get());
    }
    template <typename T>
    T* add(T* control) {
        layout->addWidget(control);
        return control;
    }
    bool showWithFocusOn(QWidget* control) {
        widget->show();
        if (!QTest::qWaitForWindowActive(widget.get())) return false;
        control->setFocus();
        return QApplication::focusWidget() == control;
    }
};

void pressEnter(QWidget* window, bool keypad = false) {
    if (keypad) {
        QTest::keyClick(window->windowHandle(), Qt::Key_Enter, Qt::KeypadModifier);
    } else {
        QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    }
    QCoreApplication::processEvents();  // the Tab follows from the event loop
}

}  // namespace

class EnterAsTabTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        counter_ = new KeyCounter;
        qApp->installEventFilter(counter_);  // a watcher installed before ours
        enterAsTab_.reset(new platform::EnterAsTab);
    }
    void cleanupTestCase() {
        enterAsTab_.reset();
        delete counter_;
    }

    // Must run first: the rule is off until switched on.
    void inactiveUntilSwitchedOn() {
        Window w;
        auto* a = w.add(new QLineEdit);
        auto* b = w.add(new QLineEdit);
        QVERIFY(w.showWithFocusOn(a));
        QVERIFY(!enterAsTab_->isOn());
        pressEnter(w.widget.get());
        QCOMPARE(QApplication::focusWidget(), a);

        enterAsTab_->switchOn();
        enterAsTab_->switchOn();  // again: still one Tab per Enter
        QVERIFY(enterAsTab_->isOn());
        w.add(new QLineEdit);
        pressEnter(w.widget.get());
        QCOMPARE(QApplication::focusWidget(), b);
    }

    void lineEditSeesEnterThenFocusMoves_data() {
        QTest::addColumn<bool>("keypad");
        QTest::newRow("Enter") << false;
        QTest::newRow("keypad Enter") << true;
    }
    void lineEditSeesEnterThenFocusMoves() {
        QFETCH(bool, keypad);
        Window w;
        auto* a = w.add(new QLineEdit);
        auto* b = w.add(new QLineEdit);
        QSignalSpy returned(a, &QLineEdit::returnPressed);
        QVERIFY(w.showWithFocusOn(a));
        const int seenBefore = counter_->enterPresses;
        pressEnter(w.widget.get(), keypad);
        QCOMPARE(returned.count(), 1);
        QCOMPARE(QApplication::focusWidget(), b);
        if (!keypad) QVERIFY(counter_->enterPresses > seenBefore);  // not swallowed
    }

    // The Tab comes after the control's own handling of the Enter, from
    // wherever that handling left the focus.
    void tabStartsWhereTheHandlerLeftTheFocus() {
        Window w;
        auto* a = w.add(new QLineEdit);
        w.add(new QLineEdit);
        auto* c = w.add(new QLineEdit);
        auto* d = w.add(new QLineEdit);
        QObject::connect(a, &QLineEdit::returnPressed, c, [c] { c->setFocus(); });
        QVERIFY(w.showWithFocusOn(a));
        pressEnter(w.widget.get());
        QCOMPARE(QApplication::focusWidget(), d);
    }

    void modifiedEnterIsLeftAlone() {
        Window w;
        auto* a = w.add(new QLineEdit);
        w.add(new QLineEdit);
        QVERIFY(w.showWithFocusOn(a));
        QTest::keyClick(w.widget->windowHandle(), Qt::Key_Return, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::focusWidget(), a);
    }

    void singleLineControlsMoveOn_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind :
             {"combo", "editable combo", "spin", "date", "date popup", "check"}) {
            QTest::newRow(kind) << QString::fromLatin1(kind);
        }
    }
    void singleLineControlsMoveOn() {
        QFETCH(QString, kind);
        Window w;
        QWidget* control = nullptr;
        if (kind.contains(QLatin1String("combo"))) {
            auto* combo = new QComboBox;
            combo->addItems({QStringLiteral("uno"), QStringLiteral("due")});
            combo->setEditable(kind.startsWith(QLatin1String("editable")));
            control = combo;
        } else if (kind == QLatin1String("spin")) {
            control = new QSpinBox;
        } else if (kind.startsWith(QLatin1String("date"))) {
            auto* date = new QDateEdit(QDate(2024, 5, 17));
            date->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
            date->setCalendarPopup(kind.endsWith(QLatin1String("popup")));
            control = date;
        } else {
            control = new QCheckBox(QStringLiteral("scelta"));
        }
        w.add(control);
        auto* next = w.add(new QLineEdit);
        QVERIFY(w.showWithFocusOn(control));
        pressEnter(w.widget.get());
        // A date edit's sections would take a plain Tab; Enter goes to the next control.
        QCOMPARE(QApplication::focusWidget(), next);
    }

    void multiLineEditorsKeepEnter_data() {
        QTest::addColumn<bool>("rich");
        QTest::newRow("plain") << false;
        QTest::newRow("rich") << true;
    }
    void multiLineEditorsKeepEnter() {
        QFETCH(bool, rich);
        Window w;
        QWidget* editor = rich ? static_cast<QWidget*>(new QTextEdit) : new QPlainTextEdit;
        w.add(editor);
        w.add(new QLineEdit);
        QVERIFY(w.showWithFocusOn(editor));
        QTest::keyClicks(editor, QStringLiteral("riga"));
        pressEnter(w.widget.get());
        pressEnter(w.widget.get(), true);
        QTest::keyClicks(editor, QStringLiteral("fine"));
        const QString text = rich ? static_cast<QTextEdit*>(editor)->toPlainText()
                                  : static_cast<QPlainTextEdit*>(editor)->toPlainText();
        QCOMPARE(text, QStringLiteral("riga\n\nfine"));
        QCOMPARE(QApplication::focusWidget(), editor);
    }

    // Buttons press on Enter wherever they are, once, and keep the focus; a
    // dialog's default button does not fire as well.
    void buttonsPressOnEnter_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("inDialog");
        for (bool dialog : {false, true}) {
            const char* where = dialog ? " in dialog" : " in window";
            for (const char* kind : {"push", "tool", "plain subclass"}) {
                QTest::newRow((QByteArray(kind) + where).constData())
                    << QString::fromLatin1(kind) << dialog;
            }
        }
        QTest::newRow("push, autoDefault off, in dialog")
            << QStringLiteral("push no autodefault") << true;
    }
    void buttonsPressOnEnter() {
        QFETCH(QString, kind);
        QFETCH(bool, inDialog);
        Window w(inDialog ? new QDialog : nullptr);
        auto* before = w.add(new QLineEdit);
        QAbstractButton* button = nullptr;
        if (kind == QLatin1String("tool")) {
            auto* tool = new QToolButton;
            tool->setText(QStringLiteral("Strumento"));
            tool->setFocusPolicy(Qt::StrongFocus);
            button = tool;
        } else if (kind == QLatin1String("plain subclass")) {
            button = new PlainSubclassButton(QStringLiteral("Sottoclasse"));
        } else {
            auto* push = new QPushButton(QStringLiteral("Premi"));
            if (kind.contains(QLatin1String("no autodefault"))) push->setAutoDefault(false);
            button = push;
        }
        w.add(button);
        w.add(new QLineEdit);
        auto* defaultButton = w.add(new QPushButton(QStringLiteral("Predefinito")));
        defaultButton->setAutoDefault(false);
        defaultButton->setDefault(inDialog);
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        QSignalSpy defaultClicked(defaultButton, &QAbstractButton::clicked);
        QVERIFY(w.showWithFocusOn(button));
        Q_UNUSED(before);
        pressEnter(w.widget.get());
        pressEnter(w.widget.get(), true);
        QCOMPARE(clicked.count(), 2);
        QCOMPARE(defaultClicked.count(), 0);
        QCOMPARE(QApplication::focusWidget(), button);
    }

    // The control and the window see the Enter first: a dialog's default button
    // still reacts, and the Tab goes to the window that has the focus once the
    // box has closed, unless the box's button is of an excluded class.
    void tabFollowsIntoTheWindowBehindAClosedBox_data() {
        QTest::addColumn<bool>("ownButtonClass");
        QTest::addColumn<bool>("moves");
        QTest::newRow("button class of its own") << true << true;
        QTest::newRow("plain QPushButton") << false << false;
    }
    void tabFollowsIntoTheWindowBehindAClosedBox() {
        QFETCH(bool, ownButtonClass);
        QFETCH(bool, moves);
        Window w;
        auto* a = w.add(new QLineEdit);
        auto* b = w.add(new QLineEdit);
        QVERIFY(w.showWithFocusOn(a));

        QMessageBox box(QMessageBox::Warning, QStringLiteral("Gestione Tasmero"),
                        QStringLiteral("   ATTENZIONE   "), QMessageBox::NoButton, w.widget.get());
        QPushButton* yes = ownButtonClass ? new AnswerButton(QStringLiteral("&Sì"))
                                          : new QPushButton(QStringLiteral("&Sì"));
        box.addButton(yes, QMessageBox::YesRole);
        box.setDefaultButton(yes);
        bool answered = false;
        QTimer::singleShot(0, &box, [&] {
            if (!QTest::qWaitFor([&] { return QApplication::focusWidget() == yes; })) {
                box.reject();
                return;
            }
            pressEnter(&box);
            answered = box.clickedButton() == yes;
        });
        box.exec();
        QVERIFY(answered);
        // The window system gives the focus back to the window behind, a little later.
        QTest::qWait(50);
        w.widget->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.widget.get()));
        QTest::qWait(50);
        QCOMPARE(QApplication::focusWidget(), moves ? b : a);
    }

    void dialogDefaultButtonStillReacts() {
        auto* dialog = new QDialog;
        Window w(dialog);
        auto* edit = w.add(new QLineEdit);
        w.add(new QLineEdit);
        auto* ok = w.add(new QPushButton(QStringLiteral("OK")));
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
        QSignalSpy accepted(dialog, &QDialog::accepted);
        QVERIFY(w.showWithFocusOn(edit));
        pressEnter(dialog);
        QCOMPARE(accepted.count(), 1);
    }

    void exactClassDecides() {
        const platform::EnterAsTab rule;
        QPushButton push;
        AnswerButton own;
        PlainSubclassButton plainSub;
        QPlainTextEdit memo;
        QTextEdit rich;
        QLineEdit line;
        QCheckBox check;
        QVERIFY(rule.isExcluded(&push));
        QVERIFY(!rule.isExcluded(&own));
        QVERIFY(rule.isExcluded(&plainSub));
        QVERIFY(rule.isExcluded(&memo));
        QVERIFY(rule.isExcluded(&rich));
        QVERIFY(!rule.isExcluded(&line));
        QVERIFY(!rule.isExcluded(&check));

        platform::EnterAsTab custom;
        custom.setExcludedClasses({QStringLiteral("answerbutton")});  // any letter case
        QVERIFY(custom.isExcluded(&own));
        QVERIFY(!custom.isExcluded(&push));
    }

  private:
    KeyCounter* counter_ = nullptr;
    std::unique_ptr<platform::EnterAsTab> enterAsTab_;
};

QTEST_MAIN(EnterAsTabTest)
#include "enter_as_tab_test.moc"
