#include "shell/window_opening.h"

namespace shell {

void resetCursor() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

}  // namespace shell
