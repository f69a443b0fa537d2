// The settings store: the stored user name and the stored password text, kept
// in memory and exchanged with the settings file "tasmerocfg.ini" in the
// program folder, section "Tasmero":
//
//   Codice_Text   the user name, plain text
//   pwpw_Caption  the stored password text (Cipher::EncodeText of the password)
//
// plus the maintenance window's placement entries (FormVersion, Flags,
// ShowCmd, PixelsPerInch, MinMaxPos, NormPos, Visible), which installations
// have always had in that section. They carry nothing the program needs: they
// are written, never applied, since the window always opens centred.
//
// The store does not decide when it talks to the file; its callers do (the
// user check before every credential test, the maintenance window when it is
// shown and closed, the main window at each activation, the program at its
// end). Guarantees:
//   * read() replaces only the values whose key is present; a missing file or
//     key leaves the held value as it was (at first start, the built-in
//     default);
//   * write() writes every held value; other lines of the file stay as they
//     are. Trimming and quoting follow the profile-file rules (ini_file.h).
//     A failure raises FileError "Unable to write to <file>" and leaves the old
//     file whole;
//   * writeAtProgramEnd() writes once more only if something was read since
//     the last write.
#pragma once

#include <QString>

namespace maintenance {

// The built-in defaults, also the contents of a fresh installation's settings.
inline const QString kDefaultUserName = QStringLiteral("admin");
inline const QString kDefaultPassword = QStringLiteral("tasmero");
// Cipher::EncodeText(kDefaultPassword) under the program's key.
inline const QString kDefaultStoredPassword = QStringLiteral("oYuKndyaUg==");

inline const QString kSettingsFileName = QStringLiteral("tasmerocfg.ini");
inline const QString kSettingsSection = QStringLiteral("Tasmero");

// Where the window stood when the settings were written, in the shape the
// file has always held it.
struct WindowPlacement {
    enum ShowCmd { Normal = 1, Minimized = 2, Maximized = 3 };
    int flags = 0;
    int showCmd = Normal;
    int pixelsPerInch = 96;
    int minMaxPos[4] = {-1, -1, -1, -1};  // minimised x, y, maximised x, y
    int normPos[4] = {0, 0, 0, 0};        // left, top, right, bottom
    bool visible = false;
};

class SettingsStore {
  public:
    // Holds the built-in defaults and points at no file until setFolder().
    SettingsStore() = default;

    // Points the store at "tasmerocfg.ini" in `folder` (the program folder
    // path; a trailing separator is optional).
    void setFolder(const QString& folder);
    const QString& path() const { return path_; }

    // Raises FileError "Unable to read <file>" for a file that exists but
    // cannot be read, and Error when no folder was set.
    void read();
    void write();
    void writeAtProgramEnd();

    const QString& userName() const { return userName_; }
    void setUserName(const QString& name) { userName_ = name; }
    const QString& storedPassword() const { return storedPassword_; }
    void setStoredPassword(const QString& text) { storedPassword_ = text; }
    const WindowPlacement& placement() const { return placement_; }
    void setPlacement(const WindowPlacement& placement) { placement_ = placement; }

  private:
    void requirePath() const;

    QString path_;
    QString userName_ = kDefaultUserName;
    QString storedPassword_ = kDefaultStoredPassword;
    WindowPlacement placement_;
    bool readSinceWrite_ = false;
};

// Writes a settings file with the built-in defaults into `folder`, for a
// ready installation. An existing file is never
// touched: returns false then, true when the file was created.
bool writeDefaultSettings(const QString& folder);

}  // namespace maintenance
