// Driving modal windows and boxes from a Qt test.
//
// A modal window runs its own event loop inside the call that opened it, so
// the test cannot act after that call: it arranges beforehand what to do once
// the window is up. whenModal() polls for the active modal widget with the
// given object name (or class name) and runs the step on it; a step that
// leaves its dialog open gets it rejected, so a failing check never leaves
// the test waiting forever. When the step has closed the modal window, the
// window under it is made active again, as a desktop's window manager does.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace counter_test {

inline bool matches(const QWidget* w, const QString& name) {
    return w && (w->objectName() == name || QLatin1String(w->metaObject()->className()) == name);
}

inline void whenModal(const QString& name, std::function<void(QWidget*)> step,
                      int timeoutMs = 10000) {
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, waited, name, step, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!matches(modal, name) || !modal->isVisible()) {
            if ((*waited += 10) > timeoutMs) {
                timer->deleteLater();
                timer->stop();
                qWarning("no modal window %s appeared", qPrintable(name));
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        QPointer<QWidget> guard(modal);
        QPointer<QWidget> owner = modal->parentWidget() ? modal->parentWidget()->window() : nullptr;
        step(modal);
        if (guard && guard->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(guard.data())) {
                qWarning("%s left open by the test step: rejected", qPrintable(name));
                dialog->reject();
            }
        }
        // The window system gives the focus back when a modal window closes,
        // to the modal window under it or else to the owner; the offscreen
        // platform leaves no window active.
        QWidget* next = QApplication::activeModalWidget();
        if (next == guard.data()) next = nullptr;
        if (!next) next = owner;
        if (next) next->activateWindow();
    });
    timer->start();
}

// What a box said and which button the test pressed.
struct BoxSeen {
    QString objectName;
    QString text;
    QStringList buttons;
};

// Answers the next message box (of any kind) with the button captioned
// `button`, recording what it showed into *seen.
inline void answerBox(const QString& button, BoxSeen* seen,
                      const QString& name = QStringLiteral("QMessageBox")) {
    whenModal(name, [button, seen](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        if (seen) {
            seen->objectName = box->objectName();
            seen->text = box->text();
            seen->buttons.clear();
            for (QAbstractButton* b : box->buttons()) seen->buttons << b->text();
        }
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == button) {
                b->click();
                return;
            }
        }
        qWarning("box without button %s: %s", qPrintable(button), qPrintable(box->text()));
        box->reject();
    });
}

// Types a code as the scanner does, one key at a time, ended with Tab.
inline void scan(QWidget* field, const QString& code) {
    QTest::keyClicks(field, code);
    QTest::keyClick(field, Qt::Key_Tab);
}

}  // namespace counter_test
