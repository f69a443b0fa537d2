#include "ui_base/guarded.h"

#include "platform/error.h"
#include "platform/prompts.h"

#include <QString>

namespace ui_base {

bool guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const platform::Abort&) {
        // The operator chose it, or has already been told.
    } catch (const platform::Error& e) {
        platform::prompts().error(e.message());
    } catch (const std::exception& e) {
        platform::prompts().error(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

}  // namespace ui_base
