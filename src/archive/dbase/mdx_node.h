// One B-tree node of an .mdx tag, laid out in a block:
//
//   0-3    number of keys n          4-7    previous node on the same level
//   8-     items of the tag's item length: a 4-byte pointer, then the key
//
// A leaf's pointers are record numbers; an interior node's are child pages,
// with item i's key the greatest key in child i and the pointer of item n
// (no key) the rightmost child. A node is a leaf when the pointer after its
// last key is 0.
//
// These functions only read and rearrange the bytes of one node; they check
// nothing (the tree checks every node it fetches), and they are inline because
// every descent and every step of a walk goes through them.
#pragma once

#include "archive/dbase/mdx_format.h"

#include <algorithm>
#include <cstring>

namespace dbase::mdx {

inline int count(const uint8_t* b) {
    return int(platform::readLe32(b));
}
inline const uint8_t* item(const Tag& t, const uint8_t* b, int i) {
    return b + 8 + i * t.itemLen;
}
inline uint8_t* item(const Tag& t, uint8_t* b, int i) {
    return b + 8 + i * t.itemLen;
}
inline uint32_t ptr(const Tag& t, const uint8_t* b, int i) {
    return platform::readLe32(item(t, b, i));
}
inline const uint8_t* key(const Tag& t, const uint8_t* b, int i) {
    return item(t, b, i) + 4;
}
inline bool isLeaf(const Tag& t, const uint8_t* b) {
    const int off = 8 + count(b) * t.itemLen;
    return off + 4 > t.blockBytes || platform::readLe32(b + off) == 0;
}
// The end of the bytes a node of n keys uses, its tail pointer included.
inline int usedEnd(const Tag& t, int n) {
    return std::min(t.blockBytes, 8 + n * t.itemLen + 4);
}

inline void setItem(const Tag& t, uint8_t* b, int i, uint32_t p, const uint8_t* k) {
    uint8_t* it = item(t, b, i);
    platform::writeLe32(it, p);
    std::memcpy(it + 4, k, size_t(t.keyLen));
    std::memset(it + 4 + t.keyLen, 0, size_t(t.itemLen - 4 - t.keyLen));
}
inline void insertItem(const Tag& t, uint8_t* b, int pos, uint32_t p, const uint8_t* k) {
    const int n = count(b);
    uint8_t* at = item(t, b, pos);
    std::memmove(at + t.itemLen, at, size_t(usedEnd(t, n) - (8 + pos * t.itemLen)));
    setItem(t, b, pos, p, k);
    platform::writeLe32(b, uint32_t(n + 1));
}
inline void removeItem(const Tag& t, uint8_t* b, int pos) {
    const int n = count(b);
    const int end = usedEnd(t, n);
    uint8_t* at = item(t, b, pos);
    std::memmove(at, at + t.itemLen, size_t(end - (8 + (pos + 1) * t.itemLen)));
    std::memset(b + end - t.itemLen, 0, size_t(t.itemLen));
    platform::writeLe32(b, uint32_t(n - 1));
}
// Drops the last key of an interior node: its pointer becomes the tail.
inline void dropLastKey(const Tag& t, uint8_t* b) {
    const int n = count(b);
    const int from = 8 + (n - 1) * t.itemLen + 4;
    std::memset(b + from, 0, size_t(usedEnd(t, n) - from));
    platform::writeLe32(b, uint32_t(n - 1));
}

// Character keys compare as unsigned bytes, date keys as numbers.
inline int cmpKey(const Tag& t, const uint8_t* a, const uint8_t* b) {
    if (t.def.type == KeyType::Date) {
        const double x = getDouble(a), y = getDouble(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int c = std::memcmp(a, b, size_t(t.keyLen));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
// Entries order by key, then by record number.
inline int cmpEntry(const Tag& t, const uint8_t* ka, uint32_t ra, const uint8_t* kb, uint32_t rb) {
    const int c = cmpKey(t, ka, kb);
    if (c != 0) return c;
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

}  // namespace dbase::mdx
