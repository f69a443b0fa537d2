#include "shell/window_opening.h"

namespace shell {

void resetCursor() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void giveBackActivation(QWidget* owner) {
    if (owner && owner->isVisible()) owner->activateWindow();
}

int showModal(QDialog& form) {
    QPointer<QWidget> owner = form.parentWidget() ? form.parentWidget()->window() : nullptr;
    const int result = form.exec();
    giveBackActivation(owner);
    return result;
}

}  // namespace shell
