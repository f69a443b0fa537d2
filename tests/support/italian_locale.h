// Pins the Italian regional settings (comma decimal sign, dot thousands
// separator, day/month/year) for the tests of one fixture.
#pragma once

#include "platform/program_locale.h"

#include <gtest/gtest.h>

class ItalianLocale : public ::testing::Test {
  protected:
    void SetUp() override { platform::setProgramLocale(QLocale(QLocale::Italian, QLocale::Italy)); }
    void TearDown() override { platform::setProgramLocale(QLocale::system()); }
};
