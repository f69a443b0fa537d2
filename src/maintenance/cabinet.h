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
// anything is written. A stored name that is not a bare file name (a folder
// part with either slash, "..", a drive letter, an absolute path) refuses the
// whole cabinet. Every file is first extracted into a temporary folder inside
// the target folder; only when all of them have come out whole are they moved
// over the files of the same names (read-only ones included), so a damaged
// cabinet changes nothing. The stored date and time (local time) and the
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
    // Reads the files now. Returns how many were added.
    int addFiles(const QString& folder, const QString& mask);

    // Compresses, writes, checks and puts the cabinet in place. A cabinet
    // without files is refused (kNoFiles): no cabinet tool would read it.
    void close();

    bool isOpen() const;
    QStringList names() const;  // stored so far, in order

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

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
