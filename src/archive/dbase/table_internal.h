// What the files of the Table class share and nobody else needs: the change
// marker's "under way" value, the scan size, the process's registry of open
// tables, the errors every part raises, and the write lock.
#pragma once

#include "archive/dbase/table.h"
#include "archive/dbase/table_file.h"

#include <QDir>
#include <QFileInfo>
#include <map>
#include <memory>

namespace dbase {

// `indexed` while a change is under way: whoever finds it under the write lock
// knows a writer died halfway, whatever else holds the index.
constexpr uint32_t kInChange = 0xFFFFFFFF;

constexpr int kScanChunk = 1 << 20;  // bytes per read when scanning the whole file

// Reads records 1..count, which start at `start` in `file`, about kScanChunk
// bytes at a time, and hands each chunk to visit(first, wanted, bytes): the
// number of its first record, how many records were asked for, and the bytes
// that came (fewer at the end of the file). Stops when visit returns false.
template <class Visit>
void scanRecords(const platform::File& file, int64_t start, int recordLength, uint32_t count,
                 Visit&& visit) {
    const uint32_t perChunk = uint32_t(qMax(1, kScanChunk / recordLength));
    QByteArray chunk;
    for (uint32_t first = 1; first <= count; first += perChunk) {
        const uint32_t n = qMin(perChunk, count - first + 1);
        chunk.resize(qsizetype(n) * recordLength);
        const int64_t offset = start + int64_t(first - 1) * recordLength;
        const size_t got = file.readAt(offset, chunk.data(), size_t(chunk.size()));
        if (!visit(first, n, QByteArrayView(chunk.constData(), qsizetype(got)))) return;
    }
}

inline QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

[[noreturn]] inline void inUse(const QString& path) {
    throw EngineError(QStringLiteral("The table %1 is in use").arg(native(path)));
}

[[noreturn]] inline void lockedByAnother(const QString& path) {
    throw EngineError(
        QStringLiteral("The table %1 is locked by another program").arg(native(path)));
}

// The tables this process has open, by canonical path.
struct RegistryEntry {
    std::weak_ptr<Table> table;
    bool sole = false;  // opened for exclusive use
};
inline std::map<QString, RegistryEntry>& registry() {
    static std::map<QString, RegistryEntry> tables;
    return tables;
}

inline QString canonicalOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw EngineError(
            QStringLiteral("Table not found: %1").arg(native(info.absoluteFilePath())));
    return info.canonicalFilePath();
}

// Holds the write lock for one change and brings the view up to date first.
class Table::WriteLock {
  public:
    explicit WriteLock(Table& table, bool catchUp = true);
    ~WriteLock() { release(); }
    void release() noexcept;

  private:
    Table& t_;
    bool locked_ = false;
};

}  // namespace dbase
