#include "maintenance/user_check.h"

#include <QDir>

#include <exception>

namespace maintenance {

QString currentProgramFolder() {
    return QDir::currentPath() + QLatin1Char('/');
}

bool designerButtonShown(const QStringList& arguments) {
    return arguments.size() == 1;
}

UserCheck::UserCheck(SettingsStore& settings, Cipher& cipher, QStringList arguments,
                     OpenArchives openArchives, ShowDesignerButton showDesignerButton)
    : settings_(settings),
      cipher_(cipher),
      arguments_(std::move(arguments)),
      openArchives_(std::move(openArchives)),
      showDesignerButton_(std::move(showDesignerButton)) {}

bool UserCheck::credentialsMatch(const QString& userName, const QString& password) {
    settings_.setFolder(programFolder_);
    settings_.read();
    if (showDesignerButton_) showDesignerButton_(designerButtonShown(arguments_));
    cipher_.InitKey(kPasswordKey);
    if (userName != settings_.userName()) return false;
    return password == cipher_.DecodeText(settings_.storedPassword());
}

CheckResult UserCheck::RxLoginDialog1CheckUser(const QString& userName, const QString& password) {
    programFolder_ = currentProgramFolder();
    bool allowed = false;
    std::exception_ptr failure;
    try {
        allowed = credentialsMatch(userName, password);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!openArchives_()) return CheckResult::EndProgram;
    if (failure) std::rethrow_exception(failure);
    return allowed ? CheckResult::Allowed : CheckResult::Refused;
}

}  // namespace maintenance
