// The full walk of every tag with every check the format allows: pages inside
// the file and used once, leaves at one depth, entries in (key, recno) order,
// separators that bound their subtrees.
#include "archive/dbase/mdx_index_impl.h"

namespace dbase {

using namespace mdx;

uint64_t MdxIndex::Impl::verifyTag(const Tag& t, std::unordered_set<uint32_t>& seen) {
    uint64_t entries = 0;
    int leafDepth = -1;
    QByteArray lastKey;
    uint32_t lastRecno = 0;
    bool haveLast = false;
    struct Walk {
        Impl& d;
        const Tag& t;
        std::unordered_set<uint32_t>& seen;
        uint64_t& entries;
        int& leafDepth;
        QByteArray& lastKey;
        uint32_t& lastRecno;
        bool& haveLast;
        void visit(uint32_t page, int depth, const uint8_t* lower, const uint8_t* upper) {
            if (depth > kMaxDepth)
                d.damaged(QStringLiteral("its tree of tag %1 is too deep").arg(t.def.name));
            if (!seen.insert(page).second)
                d.damaged(
                    QStringLiteral("page %1 is used twice (tag %2)").arg(page).arg(t.def.name));
            const uint8_t* b = d.node(t, page);
            const int n = count(b);
            if (isLeaf(t, b)) {
                if (leafDepth < 0) leafDepth = depth;
                if (leafDepth != depth)
                    d.damaged(QStringLiteral("the leaves of tag %1 lie at different depths")
                                  .arg(t.def.name));
                for (int i = 0; i < n; ++i) {
                    const uint8_t* k = key(t, b, i);
                    const uint32_t r = ptr(t, b, i);
                    const bool order =
                        !haveLast ||
                        cmpEntry(t, reinterpret_cast<const uint8_t*>(lastKey.constData()),
                                 lastRecno, k, r) < 0;
                    if (r == 0 || !order || (lower && cmpKey(t, k, lower) < 0) ||
                        (upper && cmpKey(t, k, upper) > 0))
                        d.damaged(
                            QStringLiteral("the entries of tag %1 are out of order at page %2")
                                .arg(t.def.name)
                                .arg(page));
                    lastKey = QByteArray(reinterpret_cast<const char*>(k), t.keyLen);
                    lastRecno = r;
                    haveLast = true;
                    ++entries;
                }
                return;
            }
            for (int i = 0; i <= n; ++i) {
                const uint8_t* lo = i > 0 ? key(t, b, i - 1) : lower;
                const uint8_t* hi = i < n ? key(t, b, i) : upper;
                if (lo && hi && cmpKey(t, lo, hi) > 0)
                    d.damaged(QStringLiteral("the keys of tag %1 are out of order at page %2")
                                  .arg(t.def.name)
                                  .arg(page));
                visit(ptr(t, b, i), depth + 1, lo, hi);
            }
        }
    } walk{*this, t, seen, entries, leafDepth, lastKey, lastRecno, haveLast};
    walk.visit(t.root, 0, nullptr, nullptr);
    return entries;
}

std::vector<uint64_t> MdxIndex::verify() const {
    std::unordered_set<uint32_t> seen{0, 1, 2, 3};
    for (const Tag& t : d->tags)
        if (!seen.insert(t.headerPage).second)
            d->damaged(QStringLiteral("two tags share the header page %1").arg(t.headerPage));
    std::vector<uint64_t> counts;
    for (const Tag& t : d->tags) {
        d->beginOp();
        counts.push_back(d->verifyTag(t, seen));
    }
    return counts;
}

}  // namespace dbase
