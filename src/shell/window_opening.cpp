#include "shell/window_opening.h"

namespace shell {

void resetCursor() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

int showModal(QDialog& form) {
    return form.exec();
}

}  // namespace shell
