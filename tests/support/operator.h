// Plays the operator in front of the program's modal windows: each step waits
// for the next modal window to be up and active, checks that it is the one
// expected (by object name), and types into it with real key events.
//
// Every window answered is logged as "<object name>" or, for a message box,
// "<object name>: <text>", so a test compares the whole conversation at once.
// A window the script did not expect is logged with a "!" and closed.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

class Operator : public QObject {
  public:
    using Action = std::function<void(QWidget* window)>;

    Operator() {
        poll_.setInterval(10);
        connect(&poll_, &QTimer::timeout, this, &Operator::look);
        poll_.start();
    }

    // The next modal window must be `objectName`; `action` then answers it.
    Operator& then(const QString& objectName, Action action) {
        steps_.push_back({objectName, std::move(action)});
        return *this;
    }
    // A message box answered with one key.
    Operator& thenKey(const QString& objectName, Qt::Key key) {
        return then(objectName, [key](QWidget* w) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, key);
        });
    }

    bool done() const { return steps_.empty(); }
    QStringList log;

    static QString describe(QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            return w->objectName() + QStringLiteral(": ") + box->text();
        return w->objectName();
    }

  private:
    struct Step {
        QString objectName;
        Action action;
    };

    // A window counts as new each time it is shown; one whose step is still
    // typing (a box that came up in the middle and went) is not taken again.
    void look() {
        handled_.erase(
            std::remove_if(handled_.begin(), handled_.end(),
                           [](const QPointer<QWidget>& p) { return !p || !p->isVisible(); }),
            handled_.end());
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isActiveWindow() || !QApplication::focusWidget()) return;
        if (std::find(handled_.begin(), handled_.end(), QPointer<QWidget>(w)) != handled_.end())
            return;
        handled_.push_back(w);
        if (steps_.empty() || steps_.front().objectName != w->objectName()) {
            log << QStringLiteral("!") + describe(w);
            QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
            return;
        }
        log << describe(w);
        Step step = std::move(steps_.front());
        steps_.pop_front();
        // Not from this timer's own slot: Qt does not fire a timer again while
        // its slot runs, and the window may open another one in its turn.
        QTimer::singleShot(0, w, [action = std::move(step.action), w] { action(w); });
    }

    QTimer poll_;
    std::vector<QPointer<QWidget>> handled_;
    std::deque<Step> steps_;
};
