// The single-instance guard: one running copy per executable file name.
//
// The first copy of the program holds a lock file named after its executable's
// file name (name and extension, no folder) in the user's runtime folder, and
// listens on a local socket named the same way. A later copy finds the lock
// held, asks the running copy over the socket to come to the front and is then
// told isFirst() == false, so that it can end without a word. Copies started
// from executables with other file names do not see each other.
//
// A lock left by a copy that crashed belongs to a process that no longer exists;
// the lock file recognises that and the next start is the first copy again (its
// stale socket is replaced as well).
//
// The running copy answers each request with activationRequested(); by default
// that brings the program's window to the front (bringToFront()).
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QWidget;

namespace platform {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // exeFileName: the executable's file name, see executableFileName().
    explicit SingleInstance(const QString& exeFileName, QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString executableFileName();

    bool isFirst() const { return first_; }

    // For a later copy: asks the running copy to come to the front and waits
    // up to timeoutMs for it to confirm. False when it did not answer (it may be
    // starting up or hung); the caller ends all the same.
    bool notifyRunningCopy(int timeoutMs = 3000);

    // The window the operator expects to see: the modal dialog in front (the
    // login dialog, a message box) or else the active or main window; restored
    // when it or its owner is minimised, raised and activated.
    static void bringToFront();
    static QWidget* frontWindow();

  signals:
    void activationRequested();

  private:
    void answerRequests();

    QString folder_;
    QString serverName_;
    QLockFile lock_;
    bool first_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace platform
