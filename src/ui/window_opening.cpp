#include "ui/window_opening.h"

namespace ui {

void resetCursor() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

int showModal(QDialog& form) {
    return form.exec();
}

}  // namespace ui
