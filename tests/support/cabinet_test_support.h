// Helpers shared by the cabinet and backup tests: files with chosen dates,
// external cabinet tools, and hand-built stored cabinets for names and
// layouts that no well-behaved writer produces.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <ostream>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace cabinet_test {

// Sets the process's time zone (POSIX TZ rule) for local-time conversions.
void setTimeZone(const char* tz);

void writeFile(const QString& path, const QByteArray& data);
void writeFile(const QString& path, const QByteArray& data, const QDateTime& modified);
QByteArray readFile(const QString& path);
void setModified(const QString& path, const QDateTime& modified);
QDateTime modified(const QString& path);  // local time, whole seconds

// The time a cabinet keeps for `time`: local time in two-second steps.
QDateTime dosRounded(const QDateTime& time);

// `size` bytes that look like a table file: fixed-width records of digits and
// codes, as compressible as real archives.
QByteArray recordData(qint64 size, quint32 seed);

struct ToolRun {
    int exitCode = -1;
    QString output;  // standard output and error
};
ToolRun run(const QString& program, const QStringList& arguments,
            const QString& workingFolder = {});

// Names of the entries of `folder` (files and folders, "." and ".." left
// out), in the order the file system lists them.
QStringList listingOrder(const QString& folder);
QStringList entriesOf(const QString& folder);  // sorted

struct RawFile {
    QByteArray name;
    QByteArray data;
    quint16 attributes = 0x20;
    quint16 date = (17 << 9) | (3 << 5) | 12;  // 1997-03-12
    quint16 time = (11 << 11) | (13 << 5);     // 11:13:00
};
// A single-folder stored (uncompressed) cabinet, with valid data checksums
// or with every checksum 0 ("not computed").
QByteArray storedCabinet(const std::vector<RawFile>& files, bool checksums = true);

// A stored cabinet of `folders` folders that all point at the same data
// blocks, each folder with one file "f<n>.dbf" of `fileSize` bytes: a small
// file that declares folders x fileSize bytes.
QByteArray sharedBlockCabinet(int folders, qint64 fileSize);

}  // namespace cabinet_test
