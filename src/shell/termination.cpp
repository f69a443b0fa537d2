#include "shell/termination.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QPointer>

namespace shell {
namespace {

bool terminating = false;
bool loopRunning = false;

// Closes a dialog from inside its own event loop: rejecting it before its
// exec() has started that loop would leave the loop waiting for ever.
void cancelLater(QDialog* dialog) {
    QMetaObject::invokeMethod(
        dialog,
        [dialog = QPointer<QDialog>(dialog)] {
            if (dialog && dialog->isVisible()) dialog->reject();
        },
        Qt::QueuedConnection);
}

class CloseEverything : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (terminating && event->type() == QEvent::Show && watched->isWidgetType()) {
            if (auto* dialog = qobject_cast<QDialog*>(watched)) cancelLater(dialog);
            if (auto* menu = qobject_cast<QMenu*>(watched))
                QMetaObject::invokeMethod(menu, &QWidget::close, Qt::QueuedConnection);
        }
        return false;
    }
};

CloseEverything* filter() {
    static CloseEverything* instance = [] {
        auto* f = new CloseEverything;
        QObject::connect(qApp, &QObject::destroyed, [f] { delete f; });
        return f;
    }();
    return instance;
}

}  // namespace

void Termination::request() {
    if (terminating) return;
    terminating = true;
    qApp->installEventFilter(filter());
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!popup->close()) break;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            cancelLater(dialog);
    }
    // Asked while the program runs: leave the event loop as well. (Before it
    // runs, quitting would make every later modal loop return at once, with
    // its window still on screen.)
    if (loopRunning) QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool Termination::requested() {
    return terminating;
}

int Termination::runEventLoop() {
    if (terminating) return 0;
    loopRunning = true;
    const int result = QApplication::exec();
    loopRunning = false;
    return result;
}

void Termination::reset() {
    terminating = false;
    if (qApp) qApp->removeEventFilter(filter());
}

}  // namespace shell
