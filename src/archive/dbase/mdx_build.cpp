// Bulk build of a tag from its entries: sorted once, leaves filled evenly
// left to right, then each interior level over the one below. Much faster than
// inserting one entry at a time, and the result is as full as a node allows.
#include <algorithm>
#include <functional>
#include <numeric>
#include "archive/dbase/mdx_index_impl.h"

namespace dbase {

using namespace mdx;

void MdxIndex::Impl::collectTree(const Tag& t, uint32_t page, int depth,
                                 std::unordered_set<uint32_t>& seen, std::vector<uint32_t>& out) {
    if (depth > kMaxDepth) damaged(QStringLiteral("its tree is deeper than possible"));
    if (!seen.insert(page).second) damaged(QStringLiteral("page %1 is used twice").arg(page));
    const uint8_t* b = node(t, page);
    out.push_back(page);
    if (isLeaf(t, b)) return;
    const int n = count(b);
    std::vector<uint32_t> children;
    for (int i = 0; i <= n; ++i) children.push_back(ptr(t, b, i));
    for (uint32_t c : children) collectTree(t, c, depth + 1, seen, out);
}

void MdxIndex::Impl::build(Tag& t, std::vector<IndexEntry>& entries) {
    const size_t kl = size_t(t.keyLen);
    const bool date = t.def.type == KeyType::Date;
    // Sorted entries: dates as (value, recno) pairs, characters as a flat
    // key buffer with an order vector.
    struct DateEntry {
        double key;
        uint32_t recno;
    };
    std::vector<DateEntry> dates;
    std::vector<uint8_t> chars;
    std::vector<uint32_t> recnos, order;
    for (const IndexEntry& e : entries)
        if (e.recno == 0)
            throw EngineError(QStringLiteral("Record number 0 was given for the index file %1.")
                                  .arg(nativePath()));
    if (date) {
        dates.reserve(entries.size());
        for (const IndexEntry& e : entries) {
            const QByteArray k = normalize(t, e.key);
            dates.push_back({getDouble(reinterpret_cast<const uint8_t*>(k.constData())), e.recno});
        }
        std::sort(dates.begin(), dates.end(), [](const DateEntry& a, const DateEntry& b) {
            return a.key < b.key || (!(b.key < a.key) && a.recno < b.recno);
        });
        dates.erase(std::unique(dates.begin(), dates.end(),
                                [](const DateEntry& a, const DateEntry& b) {
                                    return !(a.key < b.key) && !(b.key < a.key) &&
                                           a.recno == b.recno;
                                }),
                    dates.end());
    } else {
        chars.resize(entries.size() * kl);
        recnos.resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const QByteArray k = normalize(t, entries[i].key);
            std::memcpy(chars.data() + i * kl, k.constData(), kl);
            recnos[i] = entries[i].recno;
        }
        order.resize(entries.size());
        std::iota(order.begin(), order.end(), 0u);
        auto less = [&](uint32_t a, uint32_t b) {
            const int c = std::memcmp(chars.data() + a * kl, chars.data() + b * kl, kl);
            return c < 0 || (c == 0 && recnos[a] < recnos[b]);
        };
        std::sort(order.begin(), order.end(), less);
        order.erase(std::unique(order.begin(), order.end(),
                                [&](uint32_t a, uint32_t b) { return !less(a, b) && !less(b, a); }),
                    order.end());
    }
    std::vector<IndexEntry>().swap(entries);
    const size_t total = date ? dates.size() : order.size();
    auto keyAt = [&](size_t pos, uint8_t* out) {
        if (date)
            putDouble(out, dates[pos].key);
        else
            std::memcpy(out, chars.data() + size_t(order[pos]) * kl, kl);
    };
    auto recnoAt = [&](size_t pos) { return date ? dates[pos].recno : recnos[order[pos]]; };

    std::sort(freeBlocks.begin(), freeBlocks.end(), std::greater<>());
    struct Child {
        uint32_t page;
        size_t maxPos;
    };
    std::vector<Child> level;
    const size_t cap = size_t(t.capacity);
    const size_t leaves = std::max<size_t>(1, (total + cap - 1) / cap);
    uint32_t prev = 0;
    size_t pos = 0;
    std::vector<uint8_t> kbuf(kl);
    for (size_t i = 0; i < leaves; ++i) {
        const size_t n = total / leaves + (i < total % leaves ? 1 : 0);
        const uint32_t page = allocTreeBlock(t);
        uint8_t* b = file.writable(page);
        for (size_t e = 0; e < n; ++e) {
            keyAt(pos + e, kbuf.data());
            setItem(t, b, int(e), recnoAt(pos + e), kbuf.data());
        }
        platform::writeLe32(b, uint32_t(n));
        platform::writeLe32(b + 4, prev);
        prev = page;
        pos += n;
        level.push_back({page, pos == 0 ? 0 : pos - 1});
    }
    t.firstLeaf = level.front().page;
    t.lastLeaf = level.back().page;
    while (level.size() > 1) {
        const size_t groups = (level.size() + cap) / (cap + 1);
        std::vector<Child> up;
        size_t at = 0;
        prev = 0;
        for (size_t g = 0; g < groups; ++g) {
            const size_t n = level.size() / groups + (g < level.size() % groups ? 1 : 0);
            const uint32_t page = allocTreeBlock(t);
            uint8_t* b = file.writable(page);
            for (size_t c = 0; c + 1 < n; ++c) {
                keyAt(level[at + c].maxPos, kbuf.data());
                setItem(t, b, int(c), level[at + c].page, kbuf.data());
            }
            platform::writeLe32(item(t, b, int(n - 1)), level[at + n - 1].page);
            platform::writeLe32(b, uint32_t(n - 1));
            platform::writeLe32(b + 4, prev);
            prev = page;
            up.push_back({page, level[at + n - 1].maxPos});
            at += n;
        }
        level = std::move(up);
    }
    t.root = level.front().page;
}

}  // namespace dbase
