#include "platform/program_locale.h"

#include <optional>

namespace platform {
namespace {

// The program has one thread, so a plain static suffices.
std::optional<QLocale>& pinned() {
    static std::optional<QLocale> locale;
    return locale;
}

}  // namespace

QLocale programLocale() {
    return pinned() ? *pinned() : QLocale::system();
}

void setProgramLocale(const QLocale& locale) {
    pinned() = locale;
}

}  // namespace platform
