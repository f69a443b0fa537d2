// The regional settings that numbers and dates follow.
//
// The program shows and reads numbers and dates the way the operator's system
// is set up: decimal sign, thousands separator, order of day, month and year.
// Everything in this layer that formats or parses asks programLocale(); it is
// the system's locale unless a caller (a test, typically) pins another one.
#pragma once

#include <QLocale>

namespace platform {

QLocale programLocale();

// Pins the locale used from now on; QLocale::system() gives the default back.
void setProgramLocale(const QLocale& locale);

}  // namespace platform
