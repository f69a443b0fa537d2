// The login dialog: user name and password, checked by the caller's user
// check on every "OK". Three refused attempts, "Cancel", or a check that
// says the program must end close it as cancelled. The check may also open
// the archives and run the recovery, so it runs with the hourglass shown; an
// error it raises, of whatever type, is shown in the error box and counts as a
// refusal. Restoring the dialog after minimising it does not reset the count.
//
// Also here: the last-user memory, and the login run that ties the dialog to
// it.
#pragma once

#include "maintenance/user_check.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace maintenance {

class LoginDialog : public QDialog {
    Q_OBJECT
  public:
    using CheckUser = std::function<CheckResult(const QString& userName, const QString& password)>;

    static constexpr int kMaxAttempts = 3;

    LoginDialog(const QString& applicationTitle, const QString& lastUser, CheckUser check,
                QWidget* parent = nullptr);

    int attempts() const { return attempts_; }

    QLineEdit* UserName = nullptr;
    QLineEdit* Password = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

    void done(int result) override;

  protected:
    // A showing of the dialog, not a restore after minimising it: only then
    // does the attempt count start again.
    void showEvent(QShowEvent* event) override;

  private:
    void OKButtonClick();

    CheckUser check_;
    int attempts_ = 0;
    bool onScreen_ = false;  // shown and not yet closed
};

// The last accepted user name, offered by the next login. It lives in
// "Tasmero.ini" (section "Login Dialog", key "Last Logged User") in the
// user's own configuration folder (QStandardPaths::GenericConfigLocation): like
// the Windows folder it once lived in, a place per user and not per
// installation, and its name does not depend on the application's
// organisation and name settings.
class LastUserMemory {
  public:
    explicit LastUserMemory(QString path = defaultPath());
    static QString defaultPath();

    // "" when nothing is remembered. Raises FileError for a file that exists
    // but cannot be read.
    QString read() const;
    // Creates the folder when needed; raises FileError when it cannot write.
    void write(const QString& userName) const;

    const QString& path() const { return path_; }

  private:
    QString path_;
};

// Shows the login dialog with the remembered user and runs it. Accepted: the
// user name is remembered and returned. Cancelled (by the operator, after the
// third refusal, or because the program must end): std::nullopt. The memory
// is a convenience: a failure to read or write it is shown in the error box
// and the login goes on.
std::optional<QString> runLogin(const LoginDialog::CheckUser& check,
                                const LastUserMemory& memory = LastUserMemory(),
                                QWidget* parent = nullptr);

// The main window's caption after a login: "<title> (<user>)"; an empty user
// name keeps `current`.
QString loggedInCaption(const QString& current, const QString& userName);

}  // namespace maintenance
