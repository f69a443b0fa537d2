// The file header, the tag table and the tag headers: read at open, written by
// flush() after every changed node (tag headers, then the file header, last).
#include <algorithm>
#include <functional>
#include "archive/dbase/mdx_index_impl.h"

namespace dbase {

using namespace mdx;

uint8_t* MdxIndex::Impl::entryBytes(int tag) {
    return header + kTagTable + tag * kTagEntryBytes;
}

void MdxIndex::Impl::parse() {
    if (file.fileSize() < kHeaderBytes) notMdx();
    file.readRaw(0, header, kHeaderBytes);
    const int pagesPerBlock = platform::readLe16(header + 20);
    if (pagesPerBlock < 1 || pagesPerBlock > 32 ||
        platform::readLe16(header + 22) != pagesPerBlock * kPageSize ||
        header[26] != kTagEntryBytes)
        notMdx();
    file.setBlockPages(pagesPerBlock);
    const int ntags = platform::readLe16(header + 28);
    const uint32_t pages = platform::readLe32(header + 32);
    if (ntags > kMaxTags) damaged(QStringLiteral("it claims %1 tags").arg(ntags));
    if (pages < 4 || pages % uint32_t(pagesPerBlock) != 0)
        damaged(QStringLiteral("it claims %1 pages").arg(pages));
    if (qint64(pages) * kPageSize > file.fileSize())
        damaged(QStringLiteral("it is shorter than its header says"));
    file.setPageCount(pages);
    tags.clear();
    freeBlocks.clear();
    for (int i = 0; i < ntags; ++i) tags.push_back(parseTag(i));
}

Tag MdxIndex::Impl::parseTag(int i) {
    const uint8_t* e = entryBytes(i);
    Tag t;
    t.headerPage = platform::readLe32(e);
    const auto* nameEnd = std::find(e + 4, e + 15, uint8_t(0));
    t.def.name =
        QString::fromLatin1(reinterpret_cast<const char*>(e + 4), int(nameEnd - (e + 4))).trimmed();
    if (t.def.name.isEmpty()) damaged(QStringLiteral("tag %1 has no name").arg(i + 1));
    if (!validPage(t.headerPage))
        damaged(
            QStringLiteral("tag %1 has its header at page %2").arg(t.def.name).arg(t.headerPage));
    const uint8_t* h = file.block(t.headerPage);
    const char type = char(h[9]);
    if ((type != 'C' && type != 'D') || (h[8] & 0x08))
        throw EngineError(
            QStringLiteral("The index file %1 has a tag %2 of a kind this program does not handle.")
                .arg(nativePath(), t.def.name));
    t.def.type = type == 'D' ? KeyType::Date : KeyType::Character;
    t.keyLen = platform::readLe16(h + 12);
    t.itemLen = platform::readLe16(h + 18);
    t.maxKeys = platform::readLe16(h + 14);
    const int bs = file.blockBytes();
    t.blockBytes = bs;
    const bool keyOk =
        t.def.type == KeyType::Date ? t.keyLen == 8 : (t.keyLen >= 1 && t.keyLen <= kMaxCharKey);
    if (!keyOk || t.itemLen < t.keyLen + 4 || t.itemLen % 4 != 0 || t.maxKeys < 1 ||
        8 + t.maxKeys * t.itemLen > bs)
        damaged(QStringLiteral("tag %1 has impossible key sizes").arg(t.def.name));
    t.capacity = std::min(t.maxKeys, (bs - 12) / t.itemLen);
    if (t.capacity < 3) damaged(QStringLiteral("tag %1 has impossible key sizes").arg(t.def.name));
    t.def.keyLength = t.keyLen;
    const auto* expr = h + 24;
    const auto* exprEnd = std::find(expr, expr + kExpressionBytes, uint8_t(0));
    t.def.field =
        QString::fromLatin1(reinterpret_cast<const char*>(expr), int(exprEnd - expr)).trimmed();
    t.root = platform::readLe32(h);
    if (!validPage(t.root))
        damaged(QStringLiteral("tag %1 has its root at page %2").arg(t.def.name).arg(t.root));
    t.treePages = platform::readLe32(h + 4);
    t.leafLinks = h[246] == 1;
    t.firstLeaf = platform::readLe32(h + 248);
    t.lastLeaf = platform::readLe32(h + 252);
    return t;
}

void MdxIndex::Impl::writeTagHeader(const Tag& t) {
    uint8_t* h = file.writable(t.headerPage);
    platform::writeLe32(h, t.root);
    platform::writeLe32(h + 4, t.treePages);
    h[20] = uint8_t(h[20] + 1);
    if (t.leafLinks) {
        platform::writeLe32(h + 248, t.firstLeaf);
        platform::writeLe32(h + 252, t.lastLeaf);
    }
    h[256] = 0;
    putDate(h + 257);
}

void MdxIndex::Impl::initTagHeader(const Tag& t) {
    uint8_t* h = file.fresh(t.headerPage);
    h[8] = 0x10;
    h[9] = t.def.type == KeyType::Date ? 'D' : 'C';
    h[11] = header[31];
    platform::writeLe16(h + 12, uint16_t(t.keyLen));
    platform::writeLe16(h + 14, uint16_t(t.maxKeys));
    platform::writeLe16(h + 16, t.def.type == KeyType::Date ? 1 : 0);
    platform::writeLe16(h + 18, uint16_t(t.itemLen));
    const QByteArray expr = t.def.field.toLatin1().left(kExpressionBytes - 1);
    std::memcpy(h + 24, expr.constData(), size_t(expr.size()));
    h[246] = 1;
    h[480] = 1;
}

// Slot numbers in the tag table form a binary search tree on the names.
void MdxIndex::Impl::linkTagName(int index) {
    uint8_t* e = entryBytes(index);
    e[16] = e[17] = e[18] = 0;
    if (index == 0) return;
    int cur = 0;
    for (int guard = 0; guard <= index; ++guard) {
        uint8_t* c = entryBytes(cur);
        const bool less = std::memcmp(e + 4, c + 4, 11) < 0;
        const int link = less ? 16 : 17;
        const int child = c[link];
        if (child == 0 || child > index) {
            c[link] = uint8_t(index + 1);
            e[18] = uint8_t(cur + 1);
            return;
        }
        cur = child - 1;
    }
}

int MdxIndex::Impl::addTagHeader(const TagSpec& def) {
    if (tags.size() >= size_t(kMaxTags))
        throw EngineError(
            QStringLiteral("The index file %1 has no room for another tag.").arg(nativePath()));
    const QString name = def.name.trimmed().toUpper();
    const QByteArray latin = name.toLatin1();
    if (name.isEmpty() || latin.size() > 10 || QString::fromLatin1(latin) != name)
        throw EngineError(
            QStringLiteral("The tag name \"%1\" is not valid for %2.").arg(def.name, nativePath()));
    for (const Tag& t : tags)
        if (t.def.name.compare(name, Qt::CaseInsensitive) == 0)
            throw EngineError(
                QStringLiteral("The index file %1 already has a tag %2.").arg(nativePath(), name));
    Tag t;
    t.def = def;
    t.def.name = name;
    t.def.field = def.field.trimmed().toUpper();
    if (t.def.field.isEmpty()) t.def.field = name;
    t.keyLen = def.type == KeyType::Date ? 8 : def.keyLength;
    if (t.keyLen < 1 || t.keyLen > kMaxCharKey)
        throw EngineError(QStringLiteral("The key length %1 of tag %2 is not valid for %3.")
                              .arg(def.keyLength)
                              .arg(name, nativePath()));
    t.def.keyLength = t.keyLen;
    t.itemLen = (t.keyLen + 4 + 3) / 4 * 4;
    t.maxKeys = t.capacity = (file.blockBytes() - 12) / t.itemLen;
    t.leafLinks = true;
    t.blockBytes = file.blockBytes();
    t.headerPage = allocBlock();
    initTagHeader(t);
    t.root = t.firstLeaf = t.lastLeaf = allocTreeBlock(t);
    t.changed = true;
    const int index = int(tags.size());
    tags.push_back(t);
    uint8_t* e = entryBytes(index);
    std::memset(e, 0, kTagEntryBytes);
    platform::writeLe32(e, t.headerPage);
    std::memcpy(e + 4, latin.constData(), size_t(latin.size()));
    e[15] = 0x10;
    e[19] = 2;
    e[20] = t.def.type == KeyType::Date ? 'D' : 'C';
    linkTagName(index);
    platform::writeLe16(header + 28, uint16_t(tags.size()));
    header[30] = uint8_t(tags.size() + 1);
    headerChanged = true;
    return index;
}

void MdxIndex::Impl::flush() {
    if (!file.writable()) return;
    const bool tagChanged =
        std::any_of(tags.begin(), tags.end(), [](const Tag& t) { return t.changed; });
    if (!tagChanged && !headerChanged && !file.hasDirty()) return;
    // Free blocks at the end of the file are given back.
    std::sort(freeBlocks.begin(), freeBlocks.end(), std::greater<>());
    const uint32_t ppb = uint32_t(blockPages());
    uint32_t pages = file.pageCount();
    std::vector<uint32_t> tail;
    for (bool more = true; more;) {
        more = false;
        auto it = std::find(freeBlocks.begin(), freeBlocks.end(), pages - ppb);
        if (pages > 4 && it != freeBlocks.end()) {
            freeBlocks.erase(it);
            pages -= ppb;
            more = true;
        }
    }
    const uint32_t pagesBefore = file.pageCount();
    file.discardFrom(pages);
    file.setPageCount(pages);
    std::vector<uint32_t> headers;
    for (Tag& t : tags) {
        if (t.changed) writeTagHeader(t);
        t.changed = false;
        headers.push_back(t.headerPage);
    }
    file.writeDirty(headers);
    platform::writeLe32(header + 32, pages);
    putDate(header + 44);
    file.writeRaw(0, header, kHeaderBytes);
    headerChanged = false;
    if (pages < pagesBefore) file.truncate(pages);
    ++version;
}

// A new file's header: today's date, the table's name, two pages a block, the
// language driver and the bytes every file we have seen carries.
void MdxIndex::Impl::initHeader(const QString& tableName) {
    header[0] = 2;
    putDate(header + 1);
    const QByteArray name = tableName.toLatin1().left(15);
    std::memcpy(header + 4, name.constData(), size_t(name.size()));
    platform::writeLe16(header + 20, 2);
    platform::writeLe16(header + 22, 2 * kPageSize);
    header[24] = 1;
    header[25] = kMaxTags + 1;
    header[26] = kTagEntryBytes;
    header[30] = 1;
    header[31] = kLanguageDriver;
    header[529] = 1;
}

}  // namespace dbase
