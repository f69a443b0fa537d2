// A dBASE IV production index (.mdx): several single-field tags, each a B-tree
// of (key, record number) entries, in one file of 512-byte pages.
//
// Contract
// * Keys are the raw bytes the tag stores: a character tag holds the field's
//   bytes blank-padded to the field width (Windows-1252, compared as unsigned
//   bytes); a date tag holds an 8-byte little-endian double with the Julian day
//   number (2000-01-01 = 2451545.0; the empty date has its own value, see
//   kEmptyDateJulian), compared as numbers. Key building lives here
//   (characterKey(), dateKey()) so the table layer never lays out key bytes.
// * Entries of a tag are ordered by key, then by record number: (key, recno) is
//   unique, and navigation is a total order on it.
// * Every change is made in an in-memory page cache and written by flush();
//   sync() flushes and fsyncs. Nothing is written behind the caller's back.
// * A file that is not an .mdx, is truncated, or holds impossible values (page
//   numbers outside the file, pages that loop, key lengths that do not fit)
//   raises EngineError naming the file; it never crashes or hangs.
// * The caller serialises access (one thread; file locks across processes are
//   the table's business). After another process may have changed the file,
//   the caller calls reload().
#pragma once

#include "archive/dbase/engine_error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace dbase {

enum class KeyType { Character, Date };

struct TagSpec {
    QString name;   // tag name, upper case, at most 10 characters
    QString field;  // key field name (the tag's expression is the bare field name)
    KeyType type = KeyType::Character;
    int keyLength = 0;  // Character: field width; Date: 8
};

struct IndexEntry {
    QByteArray key;
    uint32_t recno = 0;  // 1-based record number in the .dbf
};

constexpr double kEmptyDateJulian = 21474835648.0;

class MdxIndex {
  public:
    // Opens an existing file. writable=false opens read-only.
    static std::unique_ptr<MdxIndex> open(const QString& path, bool writable);
    // Creates (replacing) a file with the given tags, all empty.
    static std::unique_ptr<MdxIndex> create(const QString& path, const std::vector<TagSpec>& tags);
    ~MdxIndex();

    const QString& path() const;
    int tagCount() const;
    const TagSpec& tag(int tag) const;
    // Tag number by name, without regard to case; -1 when there is none.
    int findTag(const QString& name) const;

    void insert(int tag, QByteArrayView key, uint32_t recno);
    // Removes exactly (key, recno); returns false when it was not there.
    bool remove(int tag, QByteArrayView key, uint32_t recno);

    // Navigation. Each returns the entry or nullopt past either end.
    std::optional<IndexEntry> first(int tag) const;
    std::optional<IndexEntry> last(int tag) const;
    // First entry whose key is >= key (any recno).
    std::optional<IndexEntry> seek(int tag, QByteArrayView key) const;
    // Entry right after / before (key, recno), which need not exist any more.
    std::optional<IndexEntry> next(int tag, const IndexEntry& from) const;
    std::optional<IndexEntry> prior(int tag, const IndexEntry& from) const;

    // Replaces the whole content of a tag with the given entries (any order).
    void rebuild(int tag, std::vector<IndexEntry> entries);
    // Adds a tag (its entries as for rebuild). Returns its number.
    int addTag(const TagSpec& def, std::vector<IndexEntry> entries);

    // Walks every tag from its root with full checks (pages inside the file and
    // used once, leaves at one depth, entries in (key, recno) order, separators
    // that bound their subtrees) and returns the number of entries per tag.
    // Throws EngineError naming the file on the first fault. Reads the whole
    // tree: meant for the table layer's staleness check (every record, deleted
    // or not, has one entry per tag), not for every open.
    std::vector<uint64_t> verify() const;

    void flush();  // writes changed pages only; tag headers, then the file header, last
    void sync();   // flush + fsync
    // Drops cached pages and re-reads the header and tag table. Changes not yet
    // flushed are discarded: flush before another process may write.
    void reload();

    // Key building for the two key types.
    static QByteArray characterKey(QByteArrayView fieldBytes,
                                   int keyLength);  // blank-pads/truncates
    static QByteArray dateKey(const QDate& date);   // invalid date = empty
    static double julianDay(const QDate& date);

  private:
    MdxIndex();
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace dbase
