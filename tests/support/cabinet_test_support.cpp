#include "support/cabinet_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace cabinet_test {

void setTimeZone(const char* tz) {
    qputenv("TZ", tz);
    tzset();
}

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(data), data.size());
}

void writeFile(const QString& path, const QByteArray& data, const QDateTime& modified) {
    writeFile(path, data);
    setModified(path, modified);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return file.readAll();
}

void setModified(const QString& path, const QDateTime& modified) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QDateTime modified(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return QDateTime::fromSecsSinceEpoch(info.st_mtime);
}

QDateTime dosRounded(const QDateTime& time) {
    const QDateTime local = time.toLocalTime();
    const QTime t = local.time();
    return QDateTime(local.date(), QTime(t.hour(), t.minute(), t.second() / 2 * 2));
}

QByteArray recordData(qint64 size, quint32 seed) {
    QByteArray data;
    data.reserve(size);
    quint32 state = seed * 2654435761u + 1;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    static const char* const kTypes = "SSSSSCR";
    while (data.size() < size) {
        const quint32 r = next();
        // Journal-like records; QByteArray::number writes a decimal point in every locale.
        auto field = [](const QByteArray& text, int width, char pad = ' ') {
            return text.rightJustified(width, pad);
        };
        const QByteArray record = " 2024" + field(QByteArray::number(r % 12 + 1), 2, '0') +
                                  field(QByteArray::number(r % 28 + 1), 2, '0') +
                                  field(QByteArray::number(int(r % 7) - 1), 5) +
                                  field(QByteArray::number((r % 90) / 10.0 + 0.5, 'f', 2), 8) +
                                  field(QByteArray::number(next() % 4000u * 977u), 13, '0') +
                                  field(QByteArray::number(r % 400), 5, '0') + kTypes[r % 7] +
                                  field(QByteArray::number((r % 90) / 14.0, 'f', 6), 10);
        const qsizetype n = record.size();
        data.append(record.constData(), std::min<qsizetype>(n, size - data.size()));
    }
    return data;
}

ToolRun run(const QString& program, const QStringList& arguments, const QString& workingFolder) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingFolder.isEmpty()) process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    ToolRun result;
    if (!process.waitForFinished(120000)) {
        result.output = process.errorString();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

QStringList listingOrder(const QString& folder) {
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) return names;
    while (dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String("..")) names << name;
    }
    ::closedir(dir);
    return names;
}

QStringList entriesOf(const QString& folder) {
    QStringList names = listingOrder(folder);
    names.sort();
    return names;
}

namespace {

void put16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}
void put32(QByteArray& out, quint32 v) {
    put16(out, quint16(v & 0xFFFF));
    put16(out, quint16(v >> 16));
}

// The cabinet block checksum: XOR of little-endian 32-bit words, the tail
// bytes taken first-byte-highest, then the two size fields folded in.
quint32 checksum(const uchar* in, int count, quint32 seed) {
    quint32 sum = seed;
    int words = count / 4;
    while (words-- > 0) {
        sum ^= quint32(in[0]) | quint32(in[1]) << 8 | quint32(in[2]) << 16 | quint32(in[3]) << 24;
        in += 4;
    }
    quint32 tail = 0;
    switch (count % 4) {
        case 3:
            tail |= quint32(*in++) << 16;
            [[fallthrough]];
        case 2:
            tail |= quint32(*in++) << 8;
            [[fallthrough]];
        case 1:
            tail |= quint32(*in++);
            [[fallthrough]];
        default:
            break;
    }
    return sum ^ tail;
}

}  // namespace

namespace {

// Stored blocks of 32 KiB holding `all`, back to back; `count` gets how many.
QByteArray storedBlocks(const QByteArray& all, bool checksums, int* count) {
    QByteArray blocks;
    *count = 0;
    for (qsizetype at = 0; at < all.size(); at += 32768) {
        const QByteArray chunk = all.mid(at, 32768);
        const quint16 size = quint16(chunk.size());
        const uchar sizes[4] = {uchar(size & 0xFF), uchar(size >> 8), uchar(size & 0xFF),
                                uchar(size >> 8)};
        const quint32 sum = checksum(
            sizes, 4,
            checksum(reinterpret_cast<const uchar*>(chunk.constData()), int(chunk.size()), 0));
        put32(blocks, checksums ? sum : 0);
        put16(blocks, size);
        put16(blocks, size);
        blocks.append(chunk);
        ++*count;
    }
    return blocks;
}

QByteArray header(quint32 size, quint32 filesOffset, quint16 folders, quint16 files) {
    QByteArray cabinet("MSCF");
    put32(cabinet, 0);
    put32(cabinet, size);
    put32(cabinet, 0);
    put32(cabinet, filesOffset);
    put32(cabinet, 0);
    cabinet.append(char(3));
    cabinet.append(char(1));
    put16(cabinet, folders);
    put16(cabinet, files);
    put16(cabinet, 0);
    put16(cabinet, 0);
    put16(cabinet, 0);
    return cabinet;
}

// One entry of the file table: sizes and offsets, folder, DOS date and
// time, attributes, and the NUL-terminated name.
void putFileEntry(QByteArray& table, quint32 size, quint32 offset, quint16 folder, quint16 date,
                  quint16 time, quint16 attributes, const QByteArray& name) {
    put32(table, size);
    put32(table, offset);
    put16(table, folder);
    put16(table, date);
    put16(table, time);
    put16(table, attributes);
    table.append(name);
    table.append('\0');
}

}  // namespace

QByteArray storedCabinet(const std::vector<RawFile>& files, bool checksums) {
    QByteArray all;
    QByteArray fileTable;
    for (const RawFile& file : files) {
        putFileEntry(fileTable, quint32(file.data.size()), quint32(all.size()), 0, file.date,
                     file.time, file.attributes, file.name);
        all.append(file.data);
    }
    int blockCount = 0;
    const QByteArray blocks = storedBlocks(all, checksums, &blockCount);
    const quint32 filesOffset = 36 + 8;
    const quint32 dataOffset = filesOffset + quint32(fileTable.size());
    QByteArray cabinet =
        header(dataOffset + quint32(blocks.size()), filesOffset, 1, quint16(files.size()));
    put32(cabinet, dataOffset);
    put16(cabinet, quint16(blockCount));
    put16(cabinet, 0);
    cabinet.append(fileTable);
    cabinet.append(blocks);
    return cabinet;
}

QByteArray sharedBlockCabinet(int folders, qint64 fileSize) {
    int blockCount = 0;
    const QByteArray blocks = storedBlocks(recordData(fileSize, 5), true, &blockCount);
    QByteArray fileTable;
    for (int f = 0; f < folders; ++f) {
        putFileEntry(fileTable, quint32(fileSize), 0, quint16(f), (17 << 9) | (3 << 5) | 12, 0,
                     0x20, QByteArray("f") + QByteArray::number(f) + ".dbf");
    }
    const quint32 filesOffset = 36 + 8 * quint32(folders);
    const quint32 dataOffset = filesOffset + quint32(fileTable.size());
    QByteArray cabinet = header(dataOffset + quint32(blocks.size()), filesOffset, quint16(folders),
                                quint16(folders));
    for (int f = 0; f < folders; ++f) {
        put32(cabinet, dataOffset);
        put16(cabinet, quint16(blockCount));
        put16(cabinet, 0);
    }
    cabinet.append(fileTable);
    cabinet.append(blocks);
    return cabinet;
}

}  // namespace cabinet_test
