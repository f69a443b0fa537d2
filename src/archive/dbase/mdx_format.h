// The on-disk format of the dBASE IV production index (.mdx): the file header,
// the tag table and the tag headers, described once here beside the constants
// and records the index reads them into.
//
// File layout (all numbers little-endian; "page" = 512 bytes, a block is
// `blockPages` pages, 2 in every file we write, so 1024 bytes):
//
//   File header, pages 0-3
//     0      version (2)               1-3    creation date, year-1900, month, day
//     4-19   table file name, no extension, NUL padded
//     20-21  pages per block (2)       22-23  bytes per block (1024)
//     24     production index flag (1) 25     tag table slots (48)
//     26     tag table entry length (32)
//     28-29  tags in use               30     next tag slot (tags + 1)
//     31     language driver (0x1B)
//     32-35  pages in the file         36-39  first free page   40-43 free blocks
//     44-46  date of last update       529    1 (as every file we have seen)
//   Tag table at 544, 32 bytes per tag (at most 47 fit before page 4)
//     0-3    page of the tag header    4-14   tag name, NUL padded
//     15     key format (0x10 = field) 16-18  tag name tree: less, greater, parent
//                                             (1-based slot numbers, 0 = none)
//     19     2                         20     key type 'C' or 'D'
//   Tag header, one block
//     0-3    root page                 4-7    pages held by the tag's tree
//     8      key format (0x10)         9      key type 'C' / 'D'
//     11     language driver           12-13  key length
//     14-15  keys per node             16-17  secondary key type (1 for dates)
//     18-19  item length: 4 + key length, rounded up to a multiple of 4
//     20     change counter (one byte, wraps)      23  unique flag (0)
//     24-    key expression (the field name), NUL terminated
//     246    1; 248-251 first leaf; 252-255 last leaf; 257-259 date of update
//     480    1
//   B-tree node, one block
//     0-3    number of keys n          4-7    previous node on the same level
//     8-     items of `item length` bytes: 4-byte pointer, then the key
//            Leaf: pointer = record number of the entry.
//            Interior: pointer = child page; item i's key is the greatest key in
//            child i; the pointer of item n (no key) is the rightmost child.
//            A node is a leaf when the pointer after its last key is 0.
//   Keys per node = (block - 12) / item length: room for n items and the tail.
//
// Sources: the published descriptions of the multiple-index layout (header,
// tag table and tag header offsets), the notes of an independent open-source
// dBASE library (node layout, 1024-byte blocks, double Julian dates), and the
// fixture files it wrote, which fix the remaining bytes (30, 31, 529, the tag
// header's 246-259 and 480, the tree page count at 4-7).
//
// Invariants we keep: entries in (key, recno) order with equal keys in record
// order; interior keys equal the greatest key of their child; only the root may
// have no keys; the previous-node links and first/last leaf are exact. Freed
// blocks are reused within the session and cut off the file end at flush; a
// freed block in the middle is left zeroed and unreferenced, so the free-list
// fields of the header (whose chaining is not published) stay as they were.
#pragma once

#include "archive/dbase/dbf_file.h"
#include "archive/dbase/mdx_block_file.h"
#include "archive/dbase/mdx_index.h"
#include "platform/byte_order.h"

#include <QDate>
#include <cstdint>
#include <cstring>

namespace dbase::mdx {

constexpr int kHeaderBytes = 2048;
constexpr int kTagTable = 544;
constexpr int kTagEntryBytes = 32;
constexpr int kMaxTags = 47;
constexpr int kMaxDepth = 32;
constexpr int kMaxCharKey = 100;
constexpr int kExpressionBytes = 220;
constexpr uint8_t kLanguageDriver = 0x1B;
constexpr size_t kCacheLimit = size_t(32) << 20;

// Dates are stored as little-endian doubles (Julian day numbers).
inline double getDouble(const uint8_t* p) {
    uint64_t bits = uint64_t(platform::readLe32(p)) | uint64_t(platform::readLe32(p + 4)) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline void putDouble(uint8_t* p, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    platform::writeLe32(p, uint32_t(bits));
    platform::writeLe32(p + 4, uint32_t(bits >> 32));
}
inline void putDate(uint8_t* p) {
    const QDate date = today();
    p[0] = uint8_t(date.year() - 1900);
    p[1] = uint8_t(date.month());
    p[2] = uint8_t(date.day());
}

// One tag as read from its tag table entry and tag header.
struct Tag {
    TagSpec def;
    uint32_t headerPage = 0;
    uint32_t root = 0;
    uint32_t firstLeaf = 0;
    uint32_t lastLeaf = 0;
    uint32_t treePages = 0;
    int keyLen = 0;
    int itemLen = 0;
    int maxKeys = 0;         // as stored: the most keys a node read from disk may hold
    int capacity = 0;        // the most keys we put in a node (room for the tail pointer)
    bool leafLinks = false;  // the header carries first/last leaf (byte 246 = 1)
    bool changed = false;
    int blockBytes = 0;  // the file's block size, which bounds every node
};

}  // namespace dbase::mdx
