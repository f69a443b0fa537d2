// The program's one exception hierarchy.
//
// Every failure that reaches the operator is a platform::Error (or derived)
// whose message() is exactly the text the error box shows. Layers derive their
// own kinds (the table engine's, the cabinet layer's) so that callers that must
// catch one kind can, while the application's error box catches them all.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace platform {

class Error : public std::exception {
public:
    explicit Error(QString message);

    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// Text that cannot be stored in the archives' single-byte code page.
class EncodingError : public Error {
public:
    using Error::Error;
};

// A file that cannot be read or written (the message names the file).
//
// When a system call failed, the error also says which step it was and the
// system's error number, so that a layer with messages of its own (the table
// engine, the cabinet layer) can word the failure its way.
class FileError : public Error {
public:
    enum class Action { None, Open, Create, Examine, Read, Write, Sync, Resize, Map, Lock, Unlock, Replace };

    using Error::Error;
    // "File not found: <path>" for a file that is not there, otherwise
    // "Cannot <action> <path>: <the system's words>".
    FileError(const QString& path, Action action, int systemError);

    const QString& path() const noexcept { return path_; }
    Action action() const noexcept { return action_; }
    // The system's error number; 0 when the failure was not the system's.
    int systemError() const noexcept { return systemError_; }

private:
    QString path_;
    Action action_ = Action::None;
    int systemError_ = 0;
};

// The system's own words for an error number.
QString systemMessage(int systemError);

// A silent stop: ends the handler that raised it, like an error, but the
// operator has already been told (or chose it), so no box shows it.
class Abort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace platform
