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
class FileError : public Error {
public:
    using Error::Error;
};

// A silent stop: ends the handler that raised it, like an error, but the
// operator has already been told (or chose it), so no box shows it.
class Abort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace platform
