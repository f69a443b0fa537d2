#include "maintenance/user_check.h"

#include "platform/error.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using maintenance::CheckResult;
using maintenance::UserCheck;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const char* name(CheckResult r) {
    switch (r) {
        case CheckResult::Allowed:
            return "Allowed";
        case CheckResult::Refused:
            return "Refused";
        case CheckResult::EndProgram:
            return "EndProgram";
    }
    return "?";
}

// Each test runs in a program folder of its own, as the program does.
class UserCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
        cipher_.InitKey(maintenance::kPasswordKey);
    }
    void TearDown() override { QDir::setCurrent(previous_); }

    void writeSettings(const QString& user, const QString& stored) {
        QFile f(dir_.filePath(QStringLiteral("tasmerocfg.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[Tasmero]\r\nCodice_Text=%1\r\npwpw_Caption=%2\r\n")
                    .arg(user, stored)
                    .toLatin1());
    }
    UserCheck check(QStringList arguments = {}) {
        return UserCheck(
            settings_, checkCipher_, std::move(arguments),
            [this] {
                ++opened_;
                return openResult_;
            },
            [this](bool visible) { designer_.push_back(visible); });
    }

    QTemporaryDir dir_;
    QString previous_;
    maintenance::Cipher cipher_;       // the test's own, to write stored texts
    maintenance::Cipher checkCipher_;  // the check's: no key until it sets one
    maintenance::SettingsStore settings_;
    int opened_ = 0;
    bool openResult_ = true;
    std::vector<bool> designer_;
};

TEST_F(UserCheckTest, ComparesExactlyAndOpensTheArchivesEveryTime) {
    writeSettings(QStringLiteral("Mario"), cipher_.EncodeText(u"segreta"));
    UserCheck c = check();
    const struct {
        const char* user;
        const char* password;
        CheckResult expected;
    } cases[] = {
        {"Mario", "segreta", CheckResult::Allowed},
        {"mario", "segreta", CheckResult::Refused},   // letter case
        {"Mario ", "segreta", CheckResult::Refused},  // trailing blank
        {" Mario", "segreta", CheckResult::Refused},
        {"Mario", "Segreta", CheckResult::Refused},
        {"Mario", "segreta ", CheckResult::Refused},
        {"Mario", "", CheckResult::Refused},
        {"", "", CheckResult::Refused},
    };
    int attempts = 0;
    for (const auto& k : cases) {
        const CheckResult r =
            c.RxLoginDialog1CheckUser(QString::fromLatin1(k.user), QString::fromLatin1(k.password));
        EXPECT_EQ(name(r), name(k.expected)) << k.user << "/" << k.password;
        EXPECT_EQ(opened_, ++attempts);
    }
    EXPECT_EQ(c.programFolder(), QDir::currentPath() + QLatin1Char('/'));
    EXPECT_EQ(settings_.path(), QDir(dir_.path()).filePath(QStringLiteral("tasmerocfg.ini")));
}

TEST_F(UserCheckTest, SettingsAreReadOnEveryAttempt) {
    UserCheck c = check();
    // No settings file: the built-in defaults.
    EXPECT_EQ(name(c.RxLoginDialog1CheckUser(maintenance::kDefaultUserName,
                                             maintenance::kDefaultPassword)),
              name(CheckResult::Allowed));
    writeSettings(QStringLiteral("admin"), cipher_.EncodeText(u"nuova"));
    EXPECT_EQ(name(c.RxLoginDialog1CheckUser(QStringLiteral("admin"), QStringLiteral("tasmero"))),
              name(CheckResult::Refused));
    EXPECT_EQ(name(c.RxLoginDialog1CheckUser(QStringLiteral("admin"), QStringLiteral("nuova"))),
              name(CheckResult::Allowed));
}

TEST_F(UserCheckTest, EmptyStoredPasswordTakesOnlyTheEmptyPassword) {
    writeSettings(QStringLiteral("Mario"), QString());
    UserCheck c = check();
    EXPECT_EQ(name(c.RxLoginDialog1CheckUser(QStringLiteral("Mario"), QString())),
              name(CheckResult::Allowed));
    EXPECT_EQ(name(c.RxLoginDialog1CheckUser(QStringLiteral("Mario"), QStringLiteral(" "))),
              name(CheckResult::Refused));
}

TEST_F(UserCheckTest, StoredTextThatIsNotBase64RaisesAfterTheArchivesOpened) {
    writeSettings(QStringLiteral("Mario"), QStringLiteral("oYuK!dyaUg=="));
    UserCheck c = check();
    try {
        c.RxLoginDialog1CheckUser(QStringLiteral("Mario"), QStringLiteral("x"));
        FAIL() << "no error";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Input is not an valid MIME Base 64 Format."));
    }
    EXPECT_EQ(opened_, 1);
    // A user name that does not match never reaches the stored text.
    EXPECT_EQ(name(c.RxLoginDialog1CheckUser(QStringLiteral("Luigi"), QStringLiteral("x"))),
              name(CheckResult::Refused));
    EXPECT_EQ(opened_, 2);
}

TEST_F(UserCheckTest, ArchiveOpeningDecidesTheEnd) {
    UserCheck c = check();
    openResult_ = false;  // recovery refused: the program ends, whatever was typed
    EXPECT_EQ(name(c.RxLoginDialog1CheckUser(maintenance::kDefaultUserName,
                                             maintenance::kDefaultPassword)),
              name(CheckResult::EndProgram));

    UserCheck failing(settings_, checkCipher_, {},
                      []() -> bool { throw platform::Error(QStringLiteral("backup.cab missing")); },
                      {});
    EXPECT_THROW(failing.RxLoginDialog1CheckUser(QStringLiteral("x"), QStringLiteral("y")),
                 platform::Error);
}

TEST_F(UserCheckTest, DesignerButtonOnlyWithExactlyOneArgument) {
    const struct {
        QStringList arguments;
        bool shown;
    } cases[] = {
        {{}, false},
        {{QStringLiteral("x")}, true},
        {{QString()}, true},  // whatever its value
        {{QStringLiteral("a"), QStringLiteral("b")}, false},
    };
    for (const auto& k : cases) {
        designer_.clear();
        check(k.arguments).RxLoginDialog1CheckUser(QStringLiteral("nobody"), QString());
        EXPECT_EQ(designer_, std::vector<bool>{k.shown}) << k.arguments.size();
    }
}

}  // namespace
