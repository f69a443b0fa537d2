#include "maintenance/ui/login_dialog.h"

#include "platform/error.h"
#include "platform/ini_file.h"
#include "ui/message_box.h"
#include "ui/slot_guard.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

#include <exception>

namespace maintenance {

LoginDialog::LoginDialog(const QString& applicationTitle, const QString& lastUser, CheckUser check,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      check_(std::move(check)) {
    setObjectName(QStringLiteral("RxLoginDialog1"));
    setWindowTitle(QStringLiteral("Registration"));

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(32, 32));
    auto* appLabel = new QLabel(QStringLiteral("Application \"%1\"").arg(applicationTitle), this);
    auto* hint = new QLabel(QStringLiteral("Type your user name and password"), this);

    UserName = new QLineEdit(lastUser, this);
    UserName->setObjectName(QStringLiteral("UserName"));
    Password = new QLineEdit(this);
    Password->setObjectName(QStringLiteral("Password"));
    Password->setEchoMode(QLineEdit::Password);
    auto* userLabel = new QLabel(QStringLiteral("&User name:"), this);
    userLabel->setBuddy(UserName);
    auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
    passwordLabel->setBuddy(Password);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(OKButton, &QPushButton::clicked, this, ui::guarded(this, &LoginDialog::OKButtonClick));
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 4, 1, Qt::AlignTop);
    grid->addWidget(appLabel, 0, 1, 1, 2);
    grid->addWidget(hint, 1, 1, 1, 2);
    grid->addWidget(userLabel, 2, 1);
    grid->addWidget(UserName, 2, 2);
    grid->addWidget(passwordLabel, 3, 1);
    grid->addWidget(Password, 3, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 3, 4, 1);
    setTabOrder(UserName, Password);
    setTabOrder(Password, OKButton);
    setTabOrder(OKButton, CancelButton);
    setFixedSize(sizeHint());
}

void LoginDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (onScreen_) return;
    onScreen_ = true;
    attempts_ = 0;
    (UserName->text().isEmpty() ? UserName : Password)->setFocus();
}

void LoginDialog::done(int result) {
    onScreen_ = false;
    QDialog::done(result);
}

void LoginDialog::OKButtonClick() {
    ++attempts_;
    CheckResult result = CheckResult::Refused;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        result = check_(UserName->text(), Password->text());
        QApplication::restoreOverrideCursor();
    } catch (const platform::Error& e) {
        QApplication::restoreOverrideCursor();
        ui::errorBox(this, e.message());
    } catch (const std::exception& e) {
        // Whatever failed (in the archives' opening too) must not skip the
        // three-attempt rule, nor leave this handler.
        QApplication::restoreOverrideCursor();
        ui::errorBox(this, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QApplication::restoreOverrideCursor();
        ui::errorBox(this, QStringLiteral("Unexpected error"));
    }
    if (result == CheckResult::Allowed) {
        accept();
    } else if (result == CheckResult::EndProgram || attempts_ >= kMaxAttempts) {
        reject();
    }
}

namespace {

const QString kLoginSection = QStringLiteral("Login Dialog");
const QString kLastUserKey = QStringLiteral("Last Logged User");

}  // namespace

LastUserMemory::LastUserMemory(QString path) : path_(std::move(path)) {}

QString LastUserMemory::defaultPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Tasmero.ini"));
}

QString LastUserMemory::read() const {
    platform::IniFile ini(path_);
    ini.load();
    return ini.readString(kLoginSection, kLastUserKey);
}

void LastUserMemory::write(const QString& userName) const {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    platform::IniFile ini(path_);
    ini.load();
    ini.writeString(kLoginSection, kLastUserKey, userName);
    ini.save();
}

std::optional<QString> runLogin(const LoginDialog::CheckUser& check, const LastUserMemory& memory,
                                QWidget* parent) {
    QString lastUser;
    try {
        lastUser = memory.read();
    } catch (const platform::Error& e) {
        ui::errorBox(parent, e.message());
    }
    LoginDialog dialog(ui::kApplicationTitle, lastUser, check, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString userName = dialog.UserName->text();
    try {
        memory.write(userName);
    } catch (const platform::Error& e) {
        ui::errorBox(parent, e.message());
    }
    return userName;
}

QString loggedInCaption(const QString& current, const QString& userName) {
    if (userName.isEmpty()) return current;
    return QStringLiteral("%1 (%2)").arg(ui::kApplicationTitle, userName);
}

}  // namespace maintenance
