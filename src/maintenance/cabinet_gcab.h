// The bridge to libgcab, which does the MS-ZIP work of the cabinet layer.
//
// Only this pair of files sees GLib. Cabinets are built and read in memory;
// the cabinet layer decides where their bytes go on disk, and no name stored
// in a cabinet reaches the library as a path before it has been checked.
#pragma once

#include "maintenance/cabinet_layout.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <vector>

namespace maintenance::cabinet_gcab {

struct Source {
    QString name;     // bare name to store
    QByteArray data;  // the file's bytes
    cabinet_layout::DosDateTime modified;
    quint16 attributes = 0;
};

// A complete single-folder MS-ZIP cabinet holding `sources` in order.
// Throws CabinetError(kCompress) when the library fails.
QByteArray compress(const std::vector<Source>& sources);

// The decompressed bytes of a cabinet's files, in the layout's file order.
class Decompressed {
  public:
    Decompressed();
    Decompressed(Decompressed&&) noexcept;
    Decompressed& operator=(Decompressed&&) noexcept;
    ~Decompressed();

    // Empty for a file that was not asked for.
    QByteArrayView data(std::size_t file) const;

  private:
    friend Decompressed decompress(QByteArrayView, const cabinet_layout::Layout&,
                                   const std::vector<bool>&);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Decompresses the files of `cabinet` whose entry in `wanted` is true.
// `layout` must be parse(cabinet) and is what bounds the work. Throws
// CabinetError(kCorrupt) for data that does not decompress or check out.
Decompressed decompress(QByteArrayView cabinet, const cabinet_layout::Layout& layout,
                        const std::vector<bool>& wanted);

// Writes the wanted files into `folder` under their decoded names, which the
// caller has checked to be bare file names. Throws CabinetError: kTargetFile
// with the system's error when a file cannot be written, kCorrupt otherwise.
void extractTo(QByteArrayView cabinet, const cabinet_layout::Layout& layout,
               const std::vector<bool>& wanted, const QString& folder);

}  // namespace maintenance::cabinet_gcab
