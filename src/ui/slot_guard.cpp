#include "ui/slot_guard.h"

#include "platform/error.h"
#include "platform/prompts.h"
#include "ui/message_box.h"
#include "ui/window_opening.h"

#include <exception>

namespace ui {

namespace {

// Through the installed prompts, so that a test script sees the error as the
// operator would; the program installs its own boxes there.
void showError(QWidget* owner, const QString& message) {
    if (platform::Prompts* prompts = platform::installedPrompts())
        prompts->error(message);
    else
        errorBox(owner, message);
}

}  // namespace

bool runGuarded(QWidget* owner, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const platform::Abort&) {
        // Chosen by the operator: nothing to show.
        resetCursor();
        return false;
    } catch (const platform::Error& e) {
        resetCursor();
        showError(owner, e.message());
    } catch (const std::exception& e) {
        resetCursor();
        showError(owner, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        resetCursor();
        showError(owner, QStringLiteral("Unexpected error"));
    }
    return false;
}

}  // namespace ui
