#include "maintenance/login_dialog.h"

#include "platform/error.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

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
    connect(OKButton, &QPushButton::clicked, this, &LoginDialog::OKButtonClick);
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
    attempts_ = 0;
    (UserName->text().isEmpty() ? UserName : Password)->setFocus();
}

void LoginDialog::OKButtonClick() {
    ++attempts_;
    bool allowed = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        allowed = check_(UserName->text(), Password->text());
        QApplication::restoreOverrideCursor();
    } catch (const platform::Error& e) {
        QApplication::restoreOverrideCursor();
        QMessageBox::critical(this, QApplication::applicationName(), e.message());
    }
    if (allowed) {
        accept();
    } else if (attempts_ >= kMaxAttempts) {
        reject();
    }
}

}  // namespace maintenance
