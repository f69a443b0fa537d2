// The Microsoft cabinet layout, read without trusting a byte of it.
//
// A cabinet is one file, all numbers little-endian:
//
//   CFHEADER  "MSCF", reserved u32, cbCabinet u32 (size of the cabinet proper;
//             a signature may follow it), reserved u32, coffFiles u32 (where the
//             first CFFILE is), reserved u32, version minor u8 (3), major u8 (1),
//             cFolders u16, cFiles u16, flags u16, setID u16, iCabinet u16;
//             flag 0x0004: cbCFHeader u16, cbCFFolder u8, cbCFData u8 and
//             cbCFHeader reserved bytes follow; flags 0x0001 / 0x0002: the
//             cabinet belongs to a set spread over several files.
//   CFFOLDER  x cFolders: coffCabStart u32 (first CFDATA), cCFData u16,
//             typeCompress u16 (0 stored, 1 MS-ZIP, 2 Quantum, 3 LZX), then
//             cbCFFolder reserved bytes.
//   CFFILE    x cFiles at coffFiles: cbFile u32, uoffFolderStart u32 (offset in
//             the folder's uncompressed stream), iFolder u16, date u16 and
//             time u16 (MS-DOS format, local time), attribs u16, szName
//             (NUL-terminated; UTF-8 when attribs has 0x80, else the Windows
//             code page).
//   CFDATA    x cCFData per folder, back to back from coffCabStart: csum u32,
//             cbData u16, cbUncomp u16, cbCFData reserved bytes, then cbData
//             bytes. An MS-ZIP block is "CK" and one deflate stream that may
//             refer to the previous block's 32 KiB; no block expands to more
//             than 32 KiB.
//
// parse() walks every structure, including the header of every data block the
// files need, and refuses the cabinet unless each file lies inside the
// uncompressed data its folder's blocks declare, every walked block's
// checksum holds (0 stands for "not computed" and is accepted), files do not
// overlap, and no
// two folders' blocks share a byte of the file. That
// bounds what decompression can produce and how long it can run (each block
// at most 32 KiB out, each present in the file), whatever the decompressor
// does with the data itself.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <vector>

namespace maintenance::cabinet_layout {

inline constexpr quint32 kBlockSize = 32768;  // uncompressed bytes per data block at most
inline constexpr quint32 kMaxCompressedBlock = kBlockSize + 6144;
inline constexpr quint16 kCompressionNone = 0;
inline constexpr quint16 kCompressionMsZip = 1;

// File attributes as the cabinet stores them.
inline constexpr quint16 kReadOnly = 0x01;
inline constexpr quint16 kHidden = 0x02;
inline constexpr quint16 kSystem = 0x04;
inline constexpr quint16 kArchive = 0x20;
inline constexpr quint16 kExecute = 0x40;
inline constexpr quint16 kNameIsUtf8 = 0x80;

struct Folder {
    quint32 dataOffset = 0;
    quint16 blockCount = 0;
    quint16 compression = 0;
    quint64 uncompressedSize = 0;  // sum of the blocks' cbUncomp
};

struct File {
    QByteArray rawName;       // as stored, without the NUL
    QString name;             // decoded per the 0x80 attribute
    bool nameIsValid = true;  // false for a UTF-8 name that is not valid UTF-8
    quint32 size = 0;
    quint32 folderOffset = 0;
    quint16 folder = 0;
    quint16 date = 0;
    quint16 time = 0;
    quint16 attributes = 0;
};

struct Layout {
    quint32 cabinetSize = 0;  // cbCabinet
    std::vector<Folder> folders;
    std::vector<File> files;  // in stored order
};

// Throws CabinetError: kNotACabinet, kUnknownVersion, kBadCompression, or
// kCorrupt for anything truncated, out of bounds or inconsistent.
Layout parse(QByteArrayView cabinet);

// Why the file's name may not be written into a folder as it is ("has a
// folder part"), or an empty string when it is a bare file name. Refused:
// empty names, "." and "..", any folder part (either slash), drive letters and
// stream names (":"), control characters, names that are not valid UTF-8.
QString unsafeNameReason(const File& file);
QString unsafeNameReason(const QString& name);

// MS-DOS date and time fields <-> local wall-clock time. toDos() clamps to the
// years the fields can hold (1980..2107) and drops odd seconds; fromDos()
// gives an invalid QDateTime for impossible fields.
struct DosDateTime {
    quint16 date = 0;
    quint16 time = 0;
};
DosDateTime toDos(const QDateTime& local);
QDateTime fromDos(quint16 date, quint16 time);

}  // namespace maintenance::cabinet_layout
