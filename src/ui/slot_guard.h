// Handlers run inside Qt's event dispatch, and an exception must never travel
// through Qt's own frames. Every handler a window connects is wrapped with
// guarded(): an error it raises ends the handler at the failing step and is
// shown right there by the application's error box (through the installed
// prompts, which a test can answer) over the window; the
// window stays open and the program goes on. An Abort, the operator's own
// choice, shows nothing.
//
//   connect(BitBtn1, &QPushButton::clicked, this, ui::guarded(this, &TfrmCarico::BitBtn1Click));
//   connect(qApp, &QApplication::focusChanged, this,
//           ui::guarded(this, [this](QWidget* old, QWidget* now) { ... }));
#pragma once

#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

namespace ui {

// Runs `handler`; whatever it raises is shown in the error box over `owner`.
// True when the handler ran to its end.
bool runGuarded(QWidget* owner, const std::function<void()>& handler);

// A slot that runs `handler` guarded. The handler may take the signal's
// arguments or none of them.
template <class Handler>
auto guarded(QWidget* owner, Handler handler) {
    return [owner, handler = std::move(handler)](auto&&... args) -> void {
        runGuarded(owner, [&] {
            if constexpr (std::is_invocable_v<const Handler&, decltype(args)...>)
                std::invoke(handler, std::forward<decltype(args)>(args)...);
            else
                std::invoke(handler);
        });
    };
}

// A member handler without arguments, guarded.
template <class Window, class Base>
auto guarded(Window* window, void (Base::*member)()) {
    return guarded(static_cast<QWidget*>(window), [window, member] { (window->*member)(); });
}

}  // namespace ui
