// The user check, run by the login dialog on every "OK". In this order:
//
//   1. the program folder path becomes the working folder plus a separator;
//   2. the settings store is pointed at that folder and read;
//   3. the report designer button is shown only when the program was started
//      with exactly one argument, whatever its value;
//   4. the cipher gets the program's key (kPasswordKey);
//   5. the typed user name must equal the stored one exactly (letter case,
//      blanks and all); only then is the stored password text deciphered and
//      compared, exactly, with the typed password;
//   6. the archives are opened (the caller's OpenArchives, which also runs the
//      recovery when an opening fails);
//   7. the result of step 5.
//
// Step 6 runs on every attempt, whatever steps 2 to 5 found: the start-up
// relies on the archives being open after a login, and a damaged archive must
// be offered its recovery even while the operator is still mistyping. An error
// raised by steps 2 to 5 (an unreadable settings file, a stored password text
// that is not base64) is raised again once step 6 has run; an error of step 6
// itself (a failed recovery) is raised at once.
#pragma once

#include "maintenance/cipher.h"
#include "maintenance/settings_store.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace maintenance {

enum class CheckResult {
    Allowed,
    Refused,
    EndProgram,  // the operator refused the recovery: the program ends at once
};

// The working folder followed by one separator, with no other normalisation.
QString currentProgramFolder();

// Step 3's rule, on the arguments that follow the program name.
bool designerButtonShown(const QStringList& arguments);

class UserCheck {
  public:
    // Opens Riviste, Giacenza, Giornale, Apporiviste, Apporiviste2 in this
    // order (an open one stays open); when one fails, runs the recovery.
    // Returns false when the operator refused the recovery; raises the error
    // of a recovery that failed.
    using OpenArchives = std::function<bool()>;
    using ShowDesignerButton = std::function<void(bool visible)>;

    // `arguments`: the command-line arguments after the program name. The
    // store and the cipher must outlive the check.
    UserCheck(SettingsStore& settings, Cipher& cipher, QStringList arguments,
              OpenArchives openArchives, ShowDesignerButton showDesignerButton);

    CheckResult RxLoginDialog1CheckUser(const QString& userName, const QString& password);

    // The program folder path set by the last check (empty before the first).
    const QString& programFolder() const { return programFolder_; }

  private:
    bool credentialsMatch(const QString& userName, const QString& password);

    SettingsStore& settings_;
    Cipher& cipher_;
    QStringList arguments_;
    OpenArchives openArchives_;
    ShowDesignerButton showDesignerButton_;
    QString programFolder_;
};

}  // namespace maintenance
