// The production index's public interface: opening and creating files,
// changes and navigation by tag, and key building. The work is done by the
// index's state (mdx_index_impl.h) in the files named there.
#include "archive/dbase/mdx_index.h"

#include "archive/dbase/mdx_index_impl.h"

#include <QFileInfo>
#include <algorithm>
#include <unordered_set>

namespace dbase {

using namespace mdx;

QByteArray MdxIndex::Impl::normalize(const Tag& t, QByteArrayView k) const {
    if (t.def.type == KeyType::Date) {
        if (k.size() != 8)
            throw EngineError(
                QStringLiteral("A key of %1 bytes was given for the date tag %2 of %3.")
                    .arg(k.size())
                    .arg(t.def.name, nativePath()));
        return k.toByteArray();
    }
    return characterKey(k, t.keyLen);
}

MdxIndex::MdxIndex() = default;
MdxIndex::~MdxIndex() = default;

std::unique_ptr<MdxIndex> MdxIndex::open(const QString& path, bool writable) {
    std::unique_ptr<MdxIndex> index(new MdxIndex);
    index->d = std::make_unique<Impl>(path);
    index->d->file.open(writable);
    index->d->parse();
    return index;
}

std::unique_ptr<MdxIndex> MdxIndex::create(const QString& path, const std::vector<TagSpec>& tags) {
    std::unique_ptr<MdxIndex> index(new MdxIndex);
    index->d = std::make_unique<Impl>(path);
    Impl& d = *index->d;
    d.file.create();
    d.file.setBlockPages(2);
    d.file.setPageCount(4);
    d.initHeader(QFileInfo(path).completeBaseName());
    d.headerChanged = true;
    for (const TagSpec& def : tags) d.addTagHeader(def);
    d.flush();
    return index;
}

const QString& MdxIndex::path() const {
    return d->file.path();
}
int MdxIndex::tagCount() const {
    return int(d->tags.size());
}
const TagSpec& MdxIndex::tag(int tag) const {
    return d->tagAt(tag).def;
}

int MdxIndex::findTag(const QString& name) const {
    for (size_t i = 0; i < d->tags.size(); ++i)
        if (d->tags[i].def.name.compare(name.trimmed(), Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

void MdxIndex::insert(int tag, QByteArrayView key, uint32_t recno) {
    Tag& t = d->tagAt(tag);
    d->requireWritable();
    if (recno == 0)
        throw EngineError(QStringLiteral("Record number 0 was given for the index file %1.")
                              .arg(d->nativePath()));
    d->beginOp();
    const QByteArray k = d->normalize(t, key);
    const auto* kp = reinterpret_cast<const uint8_t*>(k.constData());
    TreePosition c = d->locate(t, kp, recno);
    ++d->version;
    TreePosition at = c;
    if ((d->atEntry(at) || d->nextLeaf(t, at)) &&
        cmpEntry(t, mdx::key(t, at.data, at.idx), mdx::ptr(t, at.data, at.idx), kp, recno) == 0)
        return;  // already there: (key, recno) is unique
    d->insertAt(t, c, kp, recno);
    t.changed = true;
}

bool MdxIndex::remove(int tag, QByteArrayView key, uint32_t recno) {
    Tag& t = d->tagAt(tag);
    d->requireWritable();
    d->beginOp();
    const QByteArray k = d->normalize(t, key);
    const auto* kp = reinterpret_cast<const uint8_t*>(k.constData());
    TreePosition c = d->locate(t, kp, recno);
    if (!d->atEntry(c) && !d->nextLeaf(t, c)) return false;
    if (cmpEntry(t, mdx::key(t, c.data, c.idx), mdx::ptr(t, c.data, c.idx), kp, recno) != 0)
        return false;
    ++d->version;
    t.changed = true;
    uint8_t* b = d->file.writable(c.leaf);
    removeItem(t, b, c.idx);
    const int n = mdx::count(b);
    if (n > 0) {
        if (c.idx == n)
            d->fixSeparators(
                t, c.path, c.path.size(),
                QByteArray(reinterpret_cast<const char*>(mdx::key(t, b, n - 1)), t.keyLen));
    } else if (!c.path.empty()) {
        d->removeChild(t, c.path, c.path.size() - 1, c.leaf, true);
    }
    return true;
}

std::optional<IndexEntry> MdxIndex::first(int tag) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    TreePosition c;
    d->descendLeft(t, c, t.root);
    if (mdx::count(c.data) == 0 && !d->nextLeaf(t, c))
        return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::last(int tag) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    TreePosition c;
    d->descendRight(t, c, t.root);
    if (mdx::count(c.data) == 0 && !d->prevLeaf(t, c))
        return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::seek(int tag, QByteArrayView key) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    const QByteArray k = d->normalize(t, key);
    TreePosition c = d->locate(t, reinterpret_cast<const uint8_t*>(k.constData()), 0);
    if (!d->atEntry(c) && !d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::next(int tag, const IndexEntry& from) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    if (d->navAt(tag, from)) {
        TreePosition& c = d->nav.c;
        if (++c.idx < mdx::count(c.data)) return d->remember(tag, c, false);
        if (!d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
        return d->remember(tag, c, false);
    }
    const QByteArray k = d->normalize(t, from.key);
    const auto* kp = reinterpret_cast<const uint8_t*>(k.constData());
    TreePosition c = d->locate(t, kp, from.recno);
    if (!d->atEntry(c) && !d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    if (cmpEntry(t, mdx::key(t, c.data, c.idx), mdx::ptr(t, c.data, c.idx), kp, from.recno) == 0) {
        ++c.idx;
        if (!d->atEntry(c) && !d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    }
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::prior(int tag, const IndexEntry& from) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    if (d->navAt(tag, from)) {
        TreePosition& c = d->nav.c;
        if (--c.idx >= 0) return d->remember(tag, c, false);
        if (!d->prevLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
        return d->remember(tag, c, false);
    }
    const QByteArray k = d->normalize(t, from.key);
    TreePosition c = d->locate(t, reinterpret_cast<const uint8_t*>(k.constData()), from.recno);
    if (--c.idx < 0 && !d->prevLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

void MdxIndex::rebuild(int tag, std::vector<IndexEntry> entries) {
    Tag& t = d->tagAt(tag);
    d->requireWritable();
    d->beginOp();
    ++d->version;
    // The old tree's blocks are reused; a damaged old tree is abandoned whole
    // (its blocks may be shared with another tag).
    std::vector<uint32_t> old;
    try {
        std::unordered_set<uint32_t> seen;
        d->collectTree(t, t.root, 0, seen, old);
    } catch (const EngineError&) {
        old.clear();
    }
    for (uint32_t page : old) d->freeTreeBlock(t, page);
    t.treePages = 0;
    d->build(t, entries);
    t.changed = true;
}

int MdxIndex::addTag(const TagSpec& def, std::vector<IndexEntry> entries) {
    d->requireWritable();
    d->beginOp();
    ++d->version;
    const int index = d->addTagHeader(def);
    if (!entries.empty()) rebuild(index, std::move(entries));
    return index;
}

void MdxIndex::flush() {
    d->flush();
}

void MdxIndex::sync() {
    d->flush();
    d->file.sync();
}

void MdxIndex::reload() {
    d->file.dropAll();
    ++d->version;
    d->nav.tag = -1;
    d->headerChanged = false;
    d->parse();
}

QByteArray MdxIndex::characterKey(QByteArrayView fieldBytes, int keyLength) {
    QByteArray k =
        fieldBytes.first(std::min<qsizetype>(fieldBytes.size(), keyLength)).toByteArray();
    if (k.size() < keyLength) k.append(keyLength - k.size(), ' ');
    // Other tools pad text with NULs where we pad with blanks; both read as
    // the same text, so both must give the key a search for that text builds.
    for (qsizetype n = k.size(); n > 0 && (k[n - 1] == ' ' || k[n - 1] == '\0'); --n)
        k[n - 1] = ' ';
    return k;
}

double MdxIndex::julianDay(const QDate& date) {
    return date.isValid() ? double(date.toJulianDay()) : kEmptyDateJulian;
}

QByteArray MdxIndex::dateKey(const QDate& date) {
    QByteArray k(8, '\0');
    putDouble(reinterpret_cast<uint8_t*>(k.data()), julianDay(date));
    return k;
}

}  // namespace dbase
