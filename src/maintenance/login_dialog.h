// The login dialog: user name and password, checked by the caller's user
// check on every "OK". Three refused attempts, or "Cancel", end it as
// cancelled. The check may also open the archives and run the recovery, so it
// runs with the hourglass shown; an error it raises is shown in the error box
// and counts as a refusal.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace maintenance {

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    using CheckUser = std::function<bool(const QString& userName, const QString& password)>;

    static constexpr int kMaxAttempts = 3;

    LoginDialog(const QString& applicationTitle, const QString& lastUser, CheckUser check,
                QWidget* parent = nullptr);

    int attempts() const { return attempts_; }

    QLineEdit* UserName = nullptr;
    QLineEdit* Password = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OKButtonClick();

    CheckUser check_;
    int attempts_ = 0;
};

}  // namespace maintenance
