// A profile file: "[section]" lines, each followed by "key=value" lines.
//
// The rules are those the program's settings have always been stored with:
// * section and key names match without regard to letter case, and the first
//   occurrence of a section or key is the one that counts;
// * values are trimmed of blanks both when written and when read; reading then
//   removes one pair of matching quotes (" or ') around the value, and writing
//   puts a value that begins and ends with the same quote inside one more pair
//   of double quotes, so that every value reads back as it was written;
// * the file is Windows-1252 text with CRLF line ends (CR or LF alone are
//   accepted on reading);
// * lines the program does not touch (comments starting with ";", unknown
//   sections and keys, blank lines) are kept as they are when it is rewritten.
//
// The file is read once by load() and written as a whole by save(); in between
// the profile lives in memory. A missing file is an empty profile. Saving goes
// through a temporary file and a rename, never in place, so a failed save
// leaves the old file whole, also when no temporary file can be made.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

class IniFile {
  public:
    // An empty profile bound to `path`; nothing is read until load().
    explicit IniFile(QString path);

    // Reads the file; a file that does not exist gives an empty profile. An
    // existing file that cannot be read raises FileError "Unable to read <file>".
    void load();

    // Writes the whole profile; raises FileError "Unable to write to <file>"
    // (the file's name in the system's notation) when it cannot.
    void save() const;

    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    bool hasKey(const QString& section, const QString& key) const;

    // Sets the key, adding the section or the key at its end when missing.
    // Raises EncodingError for text with no Windows-1252 byte and Error for a
    // line break in any of the three, or an empty key name, since the file could
    // not hold them; the profile is then unchanged.
    void writeString(const QString& section, const QString& key, const QString& value);

    void eraseKey(const QString& section, const QString& key);
    void eraseSection(const QString& section);

    const QString& path() const { return path_; }

  private:
    struct Range {
        qsizetype header = -1;  // line index of "[section]", -1 if absent
        qsizetype end = 0;      // one past the section's last line
    };
    Range findSection(const QString& section) const;
    qsizetype findKey(const Range& range, const QString& key) const;

    QString path_;
    QStringList lines_;
};

}  // namespace platform
