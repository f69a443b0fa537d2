// The start-up: from process start to the idle main window, in this order:
//
//   1. the single-instance guard takes its lock (keyed by the executable's
//      file name);
//   2. the splash window shows, painted at once;
//   3. the application title;
//   4. the main window `MenuForm`, and while it is set up:
//      4.1 a second copy brings the running one to the front and asks for
//          termination, without a word;
//      4.2 the engine's shared-access setting is written; when it cannot be,
//          the error box says so and 4.3 is skipped;
//      4.3 with "Riviste.dbf" in the folder, the upgrade window; anything but
//          a completed upgrade asks for termination;
//   5. the data module `Data1` with its SQL connection (tables closed); when
//      it cannot be made, its error is shown and the program ends;
//   6. the maintenance window `ManutenzioneForm`, whose login opens the
//      tables (with the recovery from backup.cab when they cannot be opened);
//      a failed login asks for termination; a good one sets the main window's
//      caption;
//   7. the long-lived hidden windows;
//   8. the splash window goes.
// Then exec() shows the main window, unless termination was asked for, and
// runs the event loop until it closes. The steps after a termination request
// still run, but the upgrade window and the login are not shown, and any
// other window they open closes at once (termination.h).
//
// The program folder is the working folder; everything is looked for there.
#pragma once

#include "maintenance/ui/login_dialog.h"

#include <QString>
#include <QStringList>
#include <memory>

class TData1;
class TManutenzioneForm;
class TMenuForm;
class QWidget;
class TSplashForm;

namespace platform {
class Prompts;
class SingleInstance;
}  // namespace platform

namespace shell {

struct StartupOptions {
    // The command-line arguments after the program's name.
    QStringList arguments;
    // When not empty, becomes the working folder before anything else.
    QString folder;
    // Keys the single-instance guard; empty: this executable's file name.
    QString executableFileName;
    // The engine's settings file; empty: defaultEngineSettingsPath().
    QString engineSettingsPath;
    maintenance::LastUserMemory lastUser = maintenance::LastUserMemory();
    // How the program talks to the operator; nullptr: its message boxes.
    platform::Prompts* prompts = nullptr;
};

// The main window's Archivio command: the magazine registry, over the
// magazines ordered by name.
void actArchivioExecute(QWidget* owner);

class Startup {
  public:
    explicit Startup(StartupOptions options = StartupOptions());
    // Destroys the long-lived objects, writing the settings once more first.
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    // Steps 1 to 8. False when termination was asked for.
    bool run();
    // Step 9: the main window and the event loop. Returns the exit code.
    int exec();

    TMenuForm* menuForm() const { return menu_.get(); }

    // Step 6 of the user check: opens the five tables, and when that fails
    // offers the recovery. False when the operator refused it.
    bool OpenArchives();

  private:
    void createMainWindow();
    void setUpMainWindow();
    void runUpgrade();
    void installCommands();

    StartupOptions options_;
    std::unique_ptr<platform::Prompts> ownPrompts_;
    platform::Prompts* previousPrompts_ = nullptr;
    std::unique_ptr<platform::SingleInstance> guard_;
    std::unique_ptr<TSplashForm> splash_;
    std::unique_ptr<TMenuForm> menu_;
    std::unique_ptr<TData1> data_;
    std::unique_ptr<TManutenzioneForm> maintenance_;
};

}  // namespace shell
