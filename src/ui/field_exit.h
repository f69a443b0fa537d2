// The "exit" of a field, where the counter windows read what was scanned or
// typed: the focus leaves the field for another control of the same window.
// The window losing the focus to a message box or to another window is not an
// exit, so a box raised while a field is read never reads it a second time.
#pragma once

#include <functional>

class QWidget;

namespace ui {

// Calls `handler` at every exit of `field`, guarded like any handler: an error
// it raises is shown in the error box over the field's window. The hook lives
// as long as the field.
void onFieldExit(QWidget* field, std::function<void()> handler);

}  // namespace ui
