// Cabinet files: the program's backups (backup.cab) are standard Microsoft
// cabinets with MS-ZIP compression, readable by any cabinet tool, and cabinets
// written by earlier installations extract here.
//
// Writing (CabinetWriter): create(path), addFiles(folder, mask) as often as
// needed, close(). Guarantees:
//   * the file at `path` is replaced only by a complete cabinet that has been
//     read back and checked: every file lists with its name, size, date and
//     attributes and decompresses to exactly the bytes that were stored. The
//     new cabinet is written beside the old one under a temporary name, made
//     durable, checked, and renamed over it in one step. A failure at any step
//     leaves the previous cabinet as it was;
//   * each file is stored under its bare name with its last-write date and
//     time in local time (two-second steps) and these attributes: archive,
//     always; read-only, when its owner may not write it; hidden, when its name
//     starts with "."; system, never (nothing on this system corresponds).
//
// Reading (listCabinet, extractAll): the cabinet is checked whole before
// anything is written. Refused outright: a stored name that is not a bare file
// name (a folder part with either slash, "..", a drive letter, an absolute
// path), the same name twice (in any letter case), folders whose data blocks
// overlap (a few kilobytes could otherwise declare gigabytes), a cabinet with
// no files or none of those asked for, more than kMaxExtractedFiles files, and
// files whose declared sizes together, plus a margin, exceed the free space of
// the target folder. What is written is bounded by the declared sizes: each
// block yields at most 32 KiB, each file's data lies inside its folder's
// blocks, and no block serves two folders.
//
// Every file is first extracted into a temporary folder inside the target
// folder; only when all of them have come out whole do they replace the files
// of the same names (read-only ones included), all or nothing: the current
// files are moved aside, the new ones moved in, and on any failure the new
// ones go and the old ones are put back. A damaged cabinet, or a failure
// part-way, leaves the target as it was. The stored date and time (local time) and the
// read-only attribute are set on each file; hidden, system and archive have
// no counterpart here and are not applied.
//
// Every failure throws CabinetError (cabinet_error.h).
#pragma once

#include "maintenance/cabinet_error.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace maintenance {

struct CabinetEntry {
    QString name;
    qint64 size = 0;
    QDateTime modified;  // local time; invalid when the stored fields are impossible
    quint16 attributes = 0;
};

class CabinetWriter {
  public:
    CabinetWriter();
    ~CabinetWriter();  // an unclosed cabinet is discarded; `path` stays as it was
    CabinetWriter(const CabinetWriter&) = delete;
    CabinetWriter& operator=(const CabinetWriter&) = delete;

    // Starts a new cabinet that close() will put at `path`, creating the
    // folder if it is missing. Discards a cabinet not yet closed.
    void create(const QString& path);

    // Adds every regular file of `folder` whose name matches `mask` ("*.dbf";
    // case-insensitive), in the order the file system lists them; subfolders
    // are neither added nor searched. A file already added is not added again.
    // A file whose name extraction would refuse is not added but listed in
    // skipped(). Reads the files now. Returns how many were added.
    int addFiles(const QString& folder, const QString& mask);

    // Compresses, writes, checks and puts the cabinet in place. A cabinet
    // without files is refused (kNoFiles): no cabinet tool would read it.
    void close();

    bool isOpen() const;
    QStringList names() const;    // stored so far, in order
    QStringList skipped() const;  // left out for their names, in order

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// At most this many files are extracted from one cabinet: a program folder
// holds three tables, their indexes and a handful of templates, and a backup
// that held thousands would be a planted one.
inline constexpr std::size_t kMaxExtractedFiles = 1024;

// The free space of a folder in bytes, or std::nullopt when the system cannot
// tell (then extraction is not refused for it). The default asks the system;
// tests set their own. Returns the query in force before.
using FreeSpaceQuery = std::function<std::optional<qint64>(const QString& folder)>;
FreeSpaceQuery setFreeSpaceQuery(FreeSpaceQuery query);

// How extraction moves a file from `from` to `to` (a rename on one disk). The
// default renames; tests set one that fails part-way. Returns the previous.
using FileMove = std::function<std::error_code(const QString& from, const QString& to)>;
FileMove setFileMove(FileMove move);

// The files a cabinet holds, in stored order.
std::vector<CabinetEntry> listCabinet(const QString& cabinetPath);

// Extracts into `folder` every file of the cabinet (or only those `select`
// accepts). Returns the names written.
QStringList extractAll(const QString& cabinetPath, const QString& folder,
                       const std::function<bool(const CabinetEntry&)>& select = {});

// Checks that the cabinet at `cabinetPath` holds exactly `expected`, in
// order, with these contents. Throws CabinetError(kCompress) when it does not.
struct ExpectedFile {
    CabinetEntry entry;
    QByteArray data;
};
void verifyCabinet(const QString& cabinetPath, const std::vector<ExpectedFile>& expected);

}  // namespace maintenance
