#include "shell/application.h"

#include "platform/error.h"
#include "ui/message_box.h"

#include <exception>

namespace shell {

namespace {
QString folder;
}

const QString& programFolder() {
    return folder;
}

void setProgramFolder(const QString& path) {
    folder = path;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // The title is the application's name only: as display name the window
    // system would append it to every window's caption.
    setApplicationName(ui::kApplicationTitle);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const platform::Abort&) {
        // Chosen by the operator: nothing to show.
    } catch (const platform::Error& e) {
        ui::errorBox(nullptr, e.message());
    } catch (const std::exception& e) {
        ui::errorBox(nullptr, QString::fromLocal8Bit(e.what()));
    }
    return true;
}

}  // namespace shell
