#include "shell/startup.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "maintenance/backup.h"
#include "maintenance/ui/maintenance_window.h"
#include "maintenance/upgrade.h"
#include "maintenance/ui/upgrade_window.h"
#include "maintenance/user_check.h"
#include "movements/ui/new_magazine_window.h"
#include "platform/error.h"
#include "platform/prompts.h"
#include "platform/ui/single_instance.h"
#include "registry/ui/registry_window.h"
#include "reports/ui/selection_window.h"
#include "shell/application.h"
#include "shell/counter_commands.h"
#include "shell/engine_setting.h"
#include "shell/main_window.h"
#include "shell/print_commands.h"
#include "shell/splash_window.h"
#include "shell/termination.h"
#include "ui/message_box.h"
#include "ui/message_box_prompts.h"
#include "ui/slot_guard.h"
#include "ui/window_opening.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>

namespace shell {

Startup::Startup(StartupOptions options) : options_(std::move(options)) {
    Termination::reset();
    if (!options_.folder.isEmpty()) QDir::setCurrent(options_.folder);
    if (options_.executableFileName.isEmpty())
        options_.executableFileName = platform::SingleInstance::executableFileName();
    if (options_.engineSettingsPath.isEmpty())
        options_.engineSettingsPath = defaultEngineSettingsPath();
    if (!options_.prompts) {
        ownPrompts_ = std::make_unique<ui::MessageBoxPrompts>();
        options_.prompts = ownPrompts_.get();
    }
    previousPrompts_ = platform::setPrompts(options_.prompts);
    setProgramFolder(maintenance::currentProgramFolder());
}

Startup::~Startup() {
    if (maintenance_) {
        try {
            maintenance_->settings().writeAtProgramEnd();
        } catch (const platform::Error& e) {
            ui::errorBox(nullptr, e.message());
        }
    }
    maintenance_.reset();
    ManutenzioneForm = nullptr;
    data_.reset();  // closes the tables, posting what is pending
    menu_.reset();
    splash_.reset();
    guard_.reset();
    ui::resetCursor();
    platform::setPrompts(previousPrompts_);
}

bool Startup::run() {
    guard_ = std::make_unique<platform::SingleInstance>(options_.executableFileName);

    splash_ = std::make_unique<TSplashForm>();
    splash_->show();
    splash_->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    qApp->setApplicationName(ui::kApplicationTitle);

    createMainWindow();

    try {
        data_ = std::make_unique<TData1>(programFolder());
        Data1 = data_.get();
    } catch (const platform::Error& e) {
        ui::errorBox(nullptr, e.message());
        Termination::request();
        splash_.reset();
        return false;
    }

    maintenance_ = std::make_unique<TManutenzioneForm>(
        options_.arguments, [this] { return OpenArchives(); }, menu_.get());
    ManutenzioneForm = maintenance_.get();
    // The designer button designs the template the main window's report
    // component holds.
    maintenance_->setReportComponent(menu_->frReport1);
    std::optional<QString> user;
    if (!Termination::requested()) user = maintenance_->login(options_.lastUser);
    if (user) {
        menu_->setWindowTitle(maintenance::loggedInCaption(menu_->windowTitle(), *user));
    } else {
        Termination::request();
    }

    // The new-magazine window, kept hidden until a stock-in meets an unknown
    // magazine, and last the report selection window, hidden until a list.
    createFrmaddone(menu_.get());
    createSelezioneform(menu_.get());
    installCommands();

    splash_.reset();
    ui::resetCursor();
    return !Termination::requested();
}

void Startup::createMainWindow() {
    menu_ = std::make_unique<TMenuForm>();
    try {
        setUpMainWindow();
    } catch (const platform::Error& e) {
        ui::resetCursor();
        ui::errorBox(nullptr, e.message());
    }
    // The engine takes its setting before it opens any table.
    applyEngineSettings(options_.engineSettingsPath);
}

void Startup::setUpMainWindow() {
    if (!guard_->isFirst()) {
        // The running copy comes to the front (restored when minimised); this
        // one ends without a word.
        guard_->notifyRunningCopy();
        Termination::request();
    }
    writeLocalShare(options_.engineSettingsPath);  // its failure skips the version-2 test
    // After a termination request a window would only flash and close.
    if (!Termination::requested() && maintenance::hasVersion2Archive(programFolder())) runUpgrade();
}

void Startup::runUpgrade() {
    const int result = ui::showModal(
        from2to3, [this] { return std::make_unique<Tfrom2to3>(programFolder(), menu_.get()); });
    if (result != Tfrom2to3::mrOk) Termination::request();
}

bool Startup::OpenArchives() {
    try {
        Data1->openTables();
        return true;
    } catch (...) {
        // Whatever failed, the archives cannot be used as they are: the
        // question below says all there is, and the login's attempt rule
        // holds for whatever follows.
    }
    if (!platform::prompts().question(maintenance::kRecoveryQuestion)) return false;
    try {
        Data1->closeTables();
        maintenance::restoreBackup(maintenance::currentProgramFolder());
        Data1->openTables();
    } catch (...) {
        // The next attempt finds them closed and asks again.
        try {
            Data1->closeTables();
        } catch (...) {
            // The error that brought us here is the one to show.
        }
        throw;
    }
    return true;
}

void Startup::installCommands() {
    menu_->setCommandHandler(menu_->actManute, [] { ui::showModal(*ManutenzioneForm); });
    menu_->setCommandHandler(menu_->actArchivio, [this] { actArchivioExecute(menu_.get()); });
    installMovementCommands(*menu_);
    installPrintCommands(*menu_);
}

void actArchivioExecute(QWidget* owner) {
    ui::showModal(
        frmAnagrafica, [owner] { return std::make_unique<TfrmAnagrafica>(owner); },
        [](TfrmAnagrafica&) { Data1->Riviste.setIndex(archive::fields::NOME); });
}

int Startup::exec() {
    if (Termination::requested() || !menu_) return 0;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        menu_->adjustSize();
        menu_->move(screen->availableGeometry().center() - menu_->rect().center());
    }
    menu_->show();
    return Termination::runEventLoop();
}

}  // namespace shell
