// The maintenance window `ManutenzioneForm`: three pages, "&Password",
// "&Utilità" and "&Backup". It is made once at start-up and kept until the
// program ends; it owns the settings store, the cipher and the user check, and
// login() runs the login on them.
//
// The Password page shows the stored user name (`Codice`, editable) and takes
// a new password in `PW`; `Button1Click` changes the stored password text,
// held in the hidden label `pwpw`. Each showing reads the settings file into
// the page (restoring the window after minimising it is not a showing: what
// the page holds stays); each closing (the title-bar close button, or Esc)
// writes the page back. A failed write is shown and the window closes all the same, so a
// changed password is then not stored.
//
// The window opens on the Password page the first time and afterwards on the
// page last selected.
#pragma once

#include "maintenance/cipher.h"
#include "maintenance/ui/login_dialog.h"
#include "maintenance/media_backup.h"
#include "maintenance/settings_store.h"
#include "maintenance/user_check.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>

namespace reports {
class TfrReport;
struct DesignerContext;
}

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

class TManutenzioneForm : public QDialog {
    Q_OBJECT
  public:
    // `arguments`: the command-line arguments after the program name;
    // `openArchives`: step 6 of the user check (user_check.h).
    TManutenzioneForm(QStringList arguments, maintenance::UserCheck::OpenArchives openArchives,
                      QWidget* parent = nullptr);

    // Runs the login dialog. Returns the logged-in user name, or std::nullopt
    // when the login was cancelled or refused three times and the program must
    // end. The caller sets the main window's caption (loggedInCaption()).
    std::optional<QString> login(
        const maintenance::LastUserMemory& memory = maintenance::LastUserMemory());

    maintenance::SettingsStore& settings() { return settings_; }
    maintenance::Cipher& cipher() { return cipher_; }
    maintenance::UserCheck& userCheck() { return userCheck_; }
    const QString& loggedInUser() const { return loggedInUser_; }

    QTabWidget* PageControl1 = nullptr;

    // Password page
    QLineEdit* Codice = nullptr;
    QLineEdit* PW = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* pwpw = nullptr;

    // Utilità page
    QDateEdit* DateEdit1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // "Personalizzazione stampe", shown by the user check
    QPushButton* BitBtn2 = nullptr;

    // Backup page; the media folder stands in for drive A:. The rebuild
    // shows its progress on Button1 of the Password page.
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QLineEdit* MediaFolder = nullptr;
    QPushButton* MediaFolderButton = nullptr;

    void Button1Click();
    // The report designer on the template the report component holds, with
    // the print datasets open while it runs; they are closed afterwards,
    // whatever happened.
    void BitBtn1Click();
    void BitBtn4Click();
    void BitBtn5Click();

    // The main window's report component, whose template the designer
    // edits; the designer button stays disabled until one is given.
    void setReportComponent(reports::TfrReport& component);
    // Tests answer the designer's file dialogs and preview through this.
    void setDesignerContext(std::function<void(reports::DesignerContext&)> adjust) {
        adjustDesigner_ = std::move(adjust);
    }

    // Where the media setting is kept; tests point it elsewhere.
    void setMediaSetting(maintenance::MediaFolderSetting setting);

    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* makePasswordPage();
    QWidget* makeUtilitiesPage();
    QWidget* makeBackupPage();
    void writeSettings();
    void chooseMediaFolder();
    // The media folder to use: the one chosen, else the first removable
    // volume, else one the operator picks now. "" when he picks none.
    QString mediaFolder();

    maintenance::SettingsStore settings_;
    maintenance::Cipher cipher_;
    maintenance::UserCheck userCheck_;
    maintenance::MediaFolderSetting mediaSetting_;
    QString loggedInUser_;
    reports::TfrReport* report_ = nullptr;
    std::function<void(reports::DesignerContext&)> adjustDesigner_;
    bool onScreen_ = false;  // shown and not yet closed
};

extern TManutenzioneForm* ManutenzioneForm;
