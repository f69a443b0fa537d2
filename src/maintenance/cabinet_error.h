// The cabinet layer's error: what the operator reads when a backup or a
// restore fails.
//
// The text is built in one fixed shape, because it is all the operator (and
// whoever helps the shop on the phone) has to go on:
//
//   <library message> [0x<code, 4 hex digits>]
//   <library message> [0x<code>].\n<system message> [0x<system number>].
//
// The second form is used when the operating system reported the failure
// (no space left, permission denied, no such file); its number is the
// system's own error number. The codes follow the classic numbering of cabinet
// compressor and decompressor errors, so that a code seen on an old
// installation still means the same thing here.
#pragma once

#include "platform/error.h"

#include <QString>
#include <optional>
#include <system_error>

namespace maintenance {

// The operating system's account of a failed call.
struct SystemError {
    int number = 0;
    QString message;

    static SystemError fromErrno(int number);
    static SystemError from(const std::error_code& code);
};

class CabinetError : public platform::Error {
  public:
    // Writing a cabinet.
    static constexpr int kOpenSource = 0x0001;     // "Failure opening file to be stored in cabinet"
    static constexpr int kReadSource = 0x0002;     // "Failure reading file to be stored in cabinet"
    static constexpr int kCreateCabinet = 0x0006;  // "Could not create cabinet file"
    static constexpr int kCompress = 0x0008;  // "Failure compressing data" and the check after it
    static constexpr int kFormatLimit = 0x0009;  // too much data for one cabinet
    static constexpr int kNoFiles = 0x000A;      // nothing to store (ours)
    // Reading a cabinet.
    static constexpr int kCabinetNotFound = 0x0001;  // "Cabinet not found"
    static constexpr int kNotACabinet = 0x0002;      // "File is not a cabinet"
    static constexpr int kUnknownVersion = 0x0003;   // "Unknown cabinet version"
    static constexpr int kCorrupt = 0x0004;          // "Cabinet file is corrupt" and unsafe names
    static constexpr int kBadCompression = 0x0006;   // "Unknown compression type"
    static constexpr int kTargetFile = 0x0008;       // "Failure writing to target file"

    CabinetError(const QString& libraryMessage, int code,
                 std::optional<SystemError> system = std::nullopt);

    int code() const noexcept { return code_; }
    const std::optional<SystemError>& systemError() const noexcept { return system_; }

    // The same error with one more line for the operator (such as what became
    // of the previous backup).
    CabinetError withNote(const QString& note) const;

    static QString format(const QString& libraryMessage, int code,
                          const std::optional<SystemError>& system);

  private:
    CabinetError(QString fullMessage, int code, std::optional<SystemError> system, bool);

    int code_;
    std::optional<SystemError> system_;
};

}  // namespace maintenance
