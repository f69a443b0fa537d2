#include "platform/ui/enter_as_tab.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

namespace platform {
namespace {

bool isEnterKeyDown(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    return !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

// A push button reacts to Enter by itself only as a dialog's (auto)default
// button, a tool button never; the program expects every focused button to.
bool pressesByItself(const QWidget* widget) {
    if (const auto* push = qobject_cast<const QPushButton*>(widget)) {
        return push->autoDefault() || push->isDefault();
    }
    return !qobject_cast<const QToolButton*>(widget);
}

}  // namespace

EnterAsTab::EnterAsTab(QObject* parent) : QObject(parent), excluded_(defaultExcludedClasses()) {
    pendingTab_.setSingleShot(true);
    pendingTab_.setInterval(1000);
}

QStringList EnterAsTab::defaultExcludedClasses() {
    return {QStringLiteral("QPushButton"), QStringLiteral("QToolButton"),
            QStringLiteral("QPlainTextEdit"), QStringLiteral("QTextEdit")};
}

void EnterAsTab::switchOn() {
    if (on_) return;
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || !pendingTab_.isActive()) return;
        pendingTab_.stop();
        QMetaObject::invokeMethod(this, &EnterAsTab::tabInFocusWindow, Qt::QueuedConnection);
    });
    on_ = true;
}

bool EnterAsTab::isExcluded(const QWidget* widget) const {
    return excluded_.contains(QLatin1String(widget->metaObject()->className()),
                              Qt::CaseInsensitive);
}

bool EnterAsTab::eventFilter(QObject* watched, QEvent* event) {
    // A key press reaches the window, then the focus widget, then (if ignored)
    // its parents; act once, on its delivery to the focus widget.
    if (!isEnterKeyDown(event)) return false;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || watched != focus) return false;

    const bool pressHere = !pressesByItself(focus);
    if (!isExcluded(focus) && !focus->window()->property(kNoTabAfterEnter).toBool()) {
        QMetaObject::invokeMethod(this, &EnterAsTab::tabInFocusWindow, Qt::QueuedConnection);
    }
    if (pressHere) static_cast<QAbstractButton*>(focus)->click();
    return pressHere;
}

// Runs after the Enter has been handled, maybe by a box that has closed since:
// the Tab goes to whichever window has the focus now, as a typed one would.
void EnterAsTab::tabInFocusWindow() {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) {
        pendingTab_.start();
        return;
    }
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(focus->window(), &tab);
}

}  // namespace platform
