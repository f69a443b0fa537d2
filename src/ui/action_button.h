// A push button that carries an action: it shows the action's caption,
// tooltip (the short part of its hint) and status tip, is enabled and
// visible as the action is, and a click triggers the action. A hidden
// button keeps its room, so a window does not change its layout when a
// command comes and goes.
#pragma once

#include <QString>

class QAbstractButton;
class QAction;

namespace ui {

void bindToAction(QAbstractButton* button, QAction* action);

// A hint "short|long": the short part is the tooltip, the long part the
// status tip shown in the status bar.
struct Hint {
    QString tip;
    QString status;
};
Hint splitHint(const QString& hint);

// Sets an action's tooltip and status tip from its hint.
void setHint(QAction* action, const char* hint);

}  // namespace ui
