// Runs a handler so that no error leaves it through a Qt frame: an error it
// raises ends it and is shown in the application's error box (through the
// prompts interface) before control returns to Qt; a silent stop
// (platform::Abort) ends it without a word.
//
//   connect(button, &QPushButton::clicked, this, [this] { ui_base::guarded([&] { save(); }); });
#pragma once

#include <functional>

namespace ui_base {

// True when `handler` ran to its end.
bool guarded(const std::function<void()>& handler);

}  // namespace ui_base
