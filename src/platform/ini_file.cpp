#include "platform/ini_file.h"

#include "platform/cp1252.h"
#include "platform/error.h"
#include "platform/file.h"

#include <QDir>
#include <QFile>

namespace platform {
namespace {

bool isHeader(QStringView line) {
    return line.trimmed().startsWith(u'[');
}

QStringView sectionName(QStringView line) {
    QStringView t = line.trimmed().mid(1);
    const qsizetype close = t.indexOf(u']');
    if (close >= 0) t = t.left(close);
    return t.trimmed();
}

// The key of a "key=value" line; empty for comments, headers and other lines.
QStringView keyName(QStringView line) {
    const QStringView t = line.trimmed();
    if (t.startsWith(u';') || t.startsWith(u'[')) return {};
    const qsizetype equals = t.indexOf(u'=');
    if (equals < 0) return {};
    return t.left(equals).trimmed();
}

bool isQuotedPair(QStringView v) {
    return v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
}

QString storedValue(const QString& value) {
    const QString v = value.trimmed();
    return isQuotedPair(v) ? u'"' + v + u'"' : v;
}

QString readValue(QStringView line) {
    QStringView v = line.mid(line.indexOf(u'=') + 1).trimmed();
    if (isQuotedPair(v)) v = v.mid(1, v.size() - 2);
    return v.toString();
}

bool sameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool hasLineBreak(const QString& s) {
    return s.contains(u'\n') || s.contains(u'\r');
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n') continue;
        lines.append(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.append(text.mid(start));
    return lines;
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

void IniFile::load() {
    lines_.clear();
    QFile file(path_);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Unable to read %1").arg(QDir::toNativeSeparators(path_)));
    lines_ = splitLines(cp1252::decode(file.readAll()));
}

void IniFile::save() const {
    QString text;
    for (const QString& line : lines_) text += line + QStringLiteral("\r\n");
    // Every line was decoded from the code page or checked by writeString.
    const QByteArray bytes = cp1252::encode(text);

    // Only ever through a temporary file beside the profile and a rename: a
    // profile rewritten in place and cut short would lose its keys, and
    // missing keys bring back the built-in login. Where no temporary file can
    // be made the save fails and the old file stays as it was.
    try {
        writeFile(path_, bytes);
    } catch (const FileError&) {
        throw FileError(
            QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path_)));
    }
}

IniFile::Range IniFile::findSection(const QString& section) const {
    const QString name = section.trimmed();
    Range range;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        if (isHeader(lines_[i]) && sameName(sectionName(lines_[i]), name)) {
            range.header = i;
            break;
        }
    }
    if (range.header < 0) return range;
    range.end = range.header + 1;
    while (range.end < lines_.size() && !isHeader(lines_[range.end])) ++range.end;
    return range;
}

qsizetype IniFile::findKey(const Range& range, const QString& key) const {
    if (range.header < 0) return -1;
    const QString name = key.trimmed();
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        const QStringView found = keyName(lines_[i]);
        if (!found.isEmpty() && sameName(found, name)) return i;
    }
    return -1;
}

QString IniFile::readString(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const qsizetype line = findKey(findSection(section), key);
    return line < 0 ? defaultValue : readValue(lines_[line]);
}

bool IniFile::hasKey(const QString& section, const QString& key) const {
    return findKey(findSection(section), key) >= 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    const QString sectionText = section.trimmed();
    const QString keyText = key.trimmed();
    const QString file = QDir::toNativeSeparators(path_);
    if (hasLineBreak(sectionText) || sectionText.contains(u']'))
        throw Error(QStringLiteral("'%1' cannot be a section name in %2").arg(sectionText, file));
    if (keyText.isEmpty() || hasLineBreak(keyText) || keyText.contains(u'=') ||
        keyText.startsWith(u';') || keyText.startsWith(u'['))
        throw Error(QStringLiteral("'%1' cannot be a key name in %2").arg(keyText, file));
    const QString stored = storedValue(value);
    if (hasLineBreak(stored))
        throw Error(QStringLiteral("The value of %1 cannot be stored in %2: it holds a line break")
                        .arg(keyText, file));
    // Refuse rather than store something other than what was given.
    cp1252::encode(sectionText + keyText + stored);

    const Range range = findSection(sectionText);
    if (range.header < 0) {
        if (!lines_.isEmpty() && !lines_.back().trimmed().isEmpty()) lines_.append(QString());
        lines_.append(u'[' + sectionText + u']');
        lines_.append(keyText + u'=' + stored);
        return;
    }
    const qsizetype line = findKey(range, keyText);
    if (line >= 0) {
        // Keep the key as the file spells it.
        lines_[line] = keyName(lines_[line]).toString() + u'=' + stored;
        return;
    }
    // After the section's last line that is not blank, so that blank lines
    // keep separating it from the next section.
    qsizetype at = range.end;
    while (at - 1 > range.header && lines_[at - 1].trimmed().isEmpty()) --at;
    lines_.insert(at, keyText + u'=' + stored);
}

void IniFile::eraseKey(const QString& section, const QString& key) {
    const qsizetype line = findKey(findSection(section), key);
    if (line >= 0) lines_.removeAt(line);
}

void IniFile::eraseSection(const QString& section) {
    const Range range = findSection(section);
    if (range.header >= 0) lines_.remove(range.header, range.end - range.header);
}

}  // namespace platform
