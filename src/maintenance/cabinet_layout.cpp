#include "maintenance/cabinet_layout.h"

#include "maintenance/cabinet_error.h"
#include "platform/byte_order.h"
#include "platform/cp1252.h"

#include <algorithm>
#include <cstring>

namespace maintenance::cabinet_layout {

namespace {

constexpr quint16 kFlagPrevious = 0x0001;
constexpr quint16 kFlagNext = 0x0002;
constexpr quint16 kFlagReserve = 0x0004;
constexpr qsizetype kHeaderSize = 36;
constexpr qsizetype kFolderSize = 8;
constexpr qsizetype kFileSize = 16;
constexpr qsizetype kDataHeaderSize = 8;
constexpr qsizetype kMaxNameLength = 256;

[[noreturn]] void corrupt() {
    throw CabinetError(QStringLiteral("Cabinet file is corrupt"), CabinetError::kCorrupt);
}

// Bounds-checked little-endian reads over the cabinet proper.
class Reader {
  public:
    Reader(QByteArrayView bytes, qsizetype limit) : bytes_(bytes), limit_(limit) {}

    qsizetype limit() const { return limit_; }

    void need(qsizetype at, qsizetype count) const {
        if (at < 0 || count < 0 || at > limit_ || count > limit_ - at) corrupt();
    }
    quint8 u8(qsizetype at) const {
        need(at, 1);
        return static_cast<quint8>(bytes_[at]);
    }
    quint16 u16(qsizetype at) const {
        need(at, 2);
        return platform::readLe16(bytes_.data() + at);
    }
    quint32 u32(qsizetype at) const {
        need(at, 4);
        return platform::readLe32(bytes_.data() + at);
    }
    // A NUL-terminated string of at most `maxLength` bytes starting at `at`;
    // `next` receives the position after the NUL.
    QByteArray string(qsizetype at, qsizetype maxLength, qsizetype* next) const {
        need(at, 0);
        const qsizetype end = std::min(limit_, at + maxLength + 1);
        for (qsizetype i = at; i < end; ++i) {
            if (bytes_[i] == '\0') {
                *next = i + 1;
                return bytes_.sliced(at, i - at).toByteArray();
            }
        }
        corrupt();
    }

  private:

    QByteArrayView bytes_;
    qsizetype limit_;
};

// Invalid UTF-8 (overlong forms can hide a slash) decodes with replacement
// characters and marks the name as not to be written.
QString decodeName(const QByteArray& raw, quint16 attributes, bool* valid) {
    if (attributes & kNameIsUtf8) {
        const QString name = QString::fromUtf8(raw);
        *valid = name.toUtf8() == raw;
        return name;
    }
    *valid = true;
    return platform::cp1252::decode(raw);
}

// The data block checksum: XOR of the block's bytes as little-endian 32-bit
// words, the last one to three bytes taken first-byte-highest, then the
// cbData and cbUncomp fields folded in the same way.
quint32 checksum(const uchar* in, qsizetype count, quint32 seed) {
    quint32 sum = seed;
    for (qsizetype words = count / 4; words > 0; --words, in += 4) {
        sum ^= platform::readLe32(in);
    }
    quint32 tail = 0;
    for (qsizetype i = 0; i < count % 4; ++i) tail = tail << 8 | in[i];
    return sum ^ tail;
}

quint32 blockChecksum(QByteArrayView data, quint16 packed, quint16 unpacked) {
    const uchar sizes[4] = {uchar(packed & 0xFF), uchar(packed >> 8), uchar(unpacked & 0xFF),
                            uchar(unpacked >> 8)};
    return checksum(sizes, 4,
                    checksum(reinterpret_cast<const uchar*>(data.data()), data.size(), 0));
}

}  // namespace

Layout parse(QByteArrayView cabinet) {
    if (cabinet.size() < 4 || std::memcmp(cabinet.data(), "MSCF", 4) != 0) {
        throw CabinetError(QStringLiteral("File is not a cabinet"), CabinetError::kNotACabinet);
    }
    if (cabinet.size() < kHeaderSize) corrupt();

    Layout layout;
    const Reader header(cabinet, cabinet.size());
    layout.cabinetSize = header.u32(8);
    if (layout.cabinetSize < kHeaderSize || layout.cabinetSize > quint64(cabinet.size())) corrupt();

    // Everything the cabinet describes lies inside cbCabinet; what follows
    // (a signature) is not ours to read.
    const Reader in(cabinet, layout.cabinetSize);
    const quint32 filesOffset = in.u32(16);
    if (in.u8(25) != 1) {
        throw CabinetError(QStringLiteral("Unknown cabinet version"),
                           CabinetError::kUnknownVersion);
    }
    const quint16 folderCount = in.u16(26);
    const quint16 fileCount = in.u16(28);
    const quint16 flags = in.u16(30);
    if (flags & (kFlagPrevious | kFlagNext)) {
        throw CabinetError(QStringLiteral("Cabinet continues in another cabinet file"),
                           CabinetError::kCorrupt);
    }

    qsizetype pos = kHeaderSize;
    qsizetype folderReserve = 0;
    qsizetype dataReserve = 0;
    if (flags & kFlagReserve) {
        const qsizetype headerReserve = in.u16(36);
        folderReserve = in.u8(38);
        dataReserve = in.u8(39);
        pos = 40 + headerReserve;
        in.need(40, headerReserve);
    }

    for (quint16 i = 0; i < folderCount; ++i) {
        in.need(pos, kFolderSize + folderReserve);
        Folder folder;
        folder.dataOffset = in.u32(pos);
        folder.blockCount = in.u16(pos + 4);
        folder.compression = in.u16(pos + 6);
        const quint16 method = folder.compression & 0x000F;
        if (method != kCompressionNone && method != kCompressionMsZip) {
            throw CabinetError(QStringLiteral("Unknown compression type"),
                               CabinetError::kBadCompression);
        }
        layout.folders.push_back(folder);
        pos += kFolderSize + folderReserve;
    }

    pos = filesOffset;
    for (quint16 i = 0; i < fileCount; ++i) {
        in.need(pos, kFileSize);
        File file;
        file.size = in.u32(pos);
        file.folderOffset = in.u32(pos + 4);
        file.folder = in.u16(pos + 8);
        file.date = in.u16(pos + 10);
        file.time = in.u16(pos + 12);
        file.attributes = in.u16(pos + 14);
        file.rawName = in.string(pos + kFileSize, kMaxNameLength, &pos);
        file.name = decodeName(file.rawName, file.attributes, &file.nameIsValid);
        // Indexes 0xFFFD..0xFFFF mark files continued across a cabinet set.
        if (file.folder >= layout.folders.size()) corrupt();
        layout.files.push_back(std::move(file));
    }

    // The data blocks are walked as far as the files need them: that is as far
    // as any decompressor will read.
    std::vector<quint64> needed(layout.folders.size(), 0);
    for (const File& file : layout.files) {
        needed[file.folder] = std::max(needed[file.folder], quint64(file.folderOffset) + file.size);
    }
    // Where each folder's walked blocks lie in the file: two folders over the
    // same bytes would let a small cabinet declare far more than it holds.
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    for (std::size_t f = 0; f < layout.folders.size(); ++f) {
        Folder& folder = layout.folders[f];
        const bool stored = (folder.compression & 0x000F) == kCompressionNone;
        qsizetype at = folder.dataOffset;
        const qsizetype first = at;
        for (quint16 b = 0; b < folder.blockCount && folder.uncompressedSize < needed[f]; ++b) {
            in.need(at, kDataHeaderSize + dataReserve);
            const quint16 packed = in.u16(at + 4);
            const quint16 unpacked = in.u16(at + 6);
            if (unpacked == 0 || unpacked > kBlockSize) corrupt();
            if (stored ? packed != unpacked : (packed < 2 || packed > kMaxCompressedBlock)) {
                corrupt();
            }
            const quint32 sum = in.u32(at);
            at += kDataHeaderSize + dataReserve;
            in.need(at, packed);
            // A checksum of 0 means the writer did not compute one.
            if (sum != 0 && blockChecksum(cabinet.sliced(at, packed), packed, unpacked) != sum) {
                corrupt();
            }
            at += packed;
            folder.uncompressedSize += unpacked;
        }
        if (at > first) spans.emplace_back(first, at);
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].first < spans[i - 1].second) corrupt();
    }

    // Each file inside its folder's data, no two sharing bytes.
    std::vector<const File*> order;
    for (const File& file : layout.files) order.push_back(&file);
    std::stable_sort(order.begin(), order.end(), [](const File* a, const File* b) {
        return a->folder != b->folder ? a->folder < b->folder : a->folderOffset < b->folderOffset;
    });
    quint64 end = 0;
    int folder = -1;
    for (const File* file : order) {
        if (file->folder != folder) {
            folder = file->folder;
            end = 0;
        }
        const quint64 start = file->folderOffset;
        if (start < end) corrupt();
        end = start + file->size;
        if (end > layout.folders[file->folder].uncompressedSize) corrupt();
    }
    return layout;
}

QString unsafeNameReason(const File& file) {
    if (!file.nameIsValid) return QStringLiteral("is not valid UTF-8");
    return unsafeNameReason(file.name);
}

QString unsafeNameReason(const QString& name) {
    if (name.isEmpty()) return QStringLiteral("is empty");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("is not a file name");
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return QStringLiteral("has a folder part");
        if (c == QLatin1Char(':')) return QStringLiteral("has a drive or stream part");
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("has a control character");
    }
    return {};
}

DosDateTime toDos(const QDateTime& local) {
    QDate date = local.date();
    QTime time = local.time();
    if (!date.isValid() || date.year() < 1980) {
        date = QDate(1980, 1, 1);
        time = QTime(0, 0);
    } else if (date.year() > 2107) {
        date = QDate(2107, 12, 31);
        time = QTime(23, 59, 58);
    }
    DosDateTime dos;
    dos.date = static_cast<quint16>((date.year() - 1980) << 9 | date.month() << 5 | date.day());
    dos.time = static_cast<quint16>(time.hour() << 11 | time.minute() << 5 | time.second() / 2);
    return dos;
}

QDateTime fromDos(quint16 date, quint16 time) {
    const QDate day((date >> 9) + 1980, (date >> 5) & 0x0F, date & 0x1F);
    const QTime clock(time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
    if (!day.isValid() || !clock.isValid()) return {};
    return QDateTime(day, clock, Qt::LocalTime);
}

}  // namespace maintenance::cabinet_layout
