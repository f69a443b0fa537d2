#include "platform/ui/single_instance.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace platform {
namespace {

const QByteArray kRequest = "activate\n";
const QByteArray kAnswer = "ok\n";

// Per user, so that two operators on one machine do not see each other's copy.
QString guardFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

QString socketName(const QString& folder, const QString& exeFileName) {
#ifdef Q_OS_WIN
    // A pipe name, not a path; pipes are per machine, so the user goes in it.
    Q_UNUSED(folder);
    return QStringLiteral("%1-%2").arg(exeFileName, qEnvironmentVariable("USERNAME"));
#else
    return QDir(folder).filePath(exeFileName + QStringLiteral(".socket"));
#endif
}

bool isOrdinaryWindow(const QWidget* w) {
    const Qt::WindowType type = w->windowType();
    return w->isVisible() && type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen &&
           type != Qt::Desktop;
}

}  // namespace

SingleInstance::SingleInstance(const QString& exeFileName, QObject* parent)
    : QObject(parent),
      folder_(guardFolder()),
      serverName_(socketName(folder_, exeFileName)),
      lock_(QDir(folder_).filePath(exeFileName + QStringLiteral(".lock"))) {
    // Never stale by age: a long-running copy keeps its lock for days. A lock
    // whose owner process is gone is still recognised as stale.
    lock_.setStaleLockTime(0);
    if (!lock_.tryLock(0) && lock_.error() == QLockFile::LockFailedError) return;
    // Held by us, or no lock file can be made at all: then run rather than refuse
    // to start; only the second-copy check is lost.
    first_ = true;

    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket left behind is from a copy that crashed.
    QLocalServer::removeServer(serverName_);
    if (!server_->listen(serverName_)) {
        qWarning("Single-instance guard: cannot listen on %s: %s", qPrintable(serverName_),
                 qPrintable(server_->errorString()));
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answerRequests);
    connect(this, &SingleInstance::activationRequested, this, &SingleInstance::bringToFront);
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

QString SingleInstance::executableFileName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void SingleInstance::answerRequests() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine(64) != kRequest) continue;
                socket->write(kAnswer);
                socket->flush();
                emit activationRequested();
            }
            // Anything else is not from a copy of ours: do not let it pile up.
            if (socket->bytesAvailable() > 64) socket->abort();
        });
    }
}

bool SingleInstance::notifyRunningCopy(int timeoutMs) {
    if (first_) return false;
#ifdef Q_OS_WIN
    // The copy in front (this one) may let the running one take the foreground.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running copy may hold the lock and not be listening yet.
    for (;;) {
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(int(deadline.remainingTime()))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) return false;
    QByteArray answer;
    while (!answer.endsWith('\n')) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(int(deadline.remainingTime()))) {
            return false;
        }
        answer += socket.readAll();
    }
    socket.disconnectFromServer();
    return answer == kAnswer;
}

QWidget* SingleInstance::frontWindow() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    // The program is in the background: the window it last showed in front.
    QWidget* candidate = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!isOrdinaryWindow(w)) continue;
        if (!candidate || !w->parentWidget()) candidate = w;  // prefer a window without owner
    }
    return candidate;
}

void SingleInstance::bringToFront() {
    QWidget* target = frontWindow();
    if (!target) return;
    // A minimised owner hides its dialogs with it: restore the whole chain.
    for (QWidget* w = target; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        if (w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    }
    target->show();
    target->raise();
    target->activateWindow();
}

}  // namespace platform
