// The look-up cache of a table cursor: the rows already found for each value
// an equality constraint asked for through a character tag, valid while the
// table stays as it was. A probe is inline: a join makes one for every row of
// the outer table.
#pragma once

#include "archive/dbase/table.h"
#include "archive/sql/row_set.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

// The rows found for each value looked up through a character tag, kept by a
// cursor for one statement: a join asks for the same magazine again and again.
// Open addressing over a flat array: a probe costs one or two cache lines.
struct LookUpCache {
    static constexpr size_t kMaxBytes = 64 << 20;
    static constexpr size_t kInline = 15;
    struct Bucket {
        uint64_t hash = 0;   // 0: empty
        uint32_t first = 0;  // the value's rows: rows[first, first + count)
        uint32_t count = 0;
        // The value itself when it has at most kInline bytes (their number in
        // the last byte), so that a probe reads one cache line; otherwise its
        // place and size in `values`, and 0xFF in the last byte.
        char value[kInline + 1] = {};
    };
    std::vector<Bucket> buckets;  // a power of two long
    size_t used = 0;
    std::string values;  // the looked-up values longer than kInline
    RowSet rows;
    // The tag, and the state of the table the rows were read in. Every change bumps the
    // marker of the table's view, made in this process (through SQL or not)
    // or, once catchUp() has seen it, in another one.
    struct Stamp {
        int tag = -1;
        bool marked = false;
        uint32_t changes = 0;
        uint64_t epoch = 0;
        uint32_t recordCount = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp;

    static Stamp stampOf(const dbase::Table& table, int tag) {
        const dbase::ChangeMarker& m = table.layout().marker;
        return {tag, m.present, m.changes, table.epoch(), table.recordCount()};
    }

    static uint64_t hashOf(std::string_view value) {
        return std::hash<std::string_view>{}(value) | 1;
    }

    bool holds(const Bucket& b, std::string_view value) const {
        const auto sizeByte = static_cast<unsigned char>(b.value[kInline]);
        if (value.size() <= kInline)
            return sizeByte == value.size() &&
                   std::memcmp(b.value, value.data(), value.size()) == 0;
        uint32_t at = 0;
        uint32_t size = 0;
        std::memcpy(&at, b.value, 4);
        std::memcpy(&size, b.value + 4, 4);
        return sizeByte == 0xFF && size == value.size() &&
               std::memcmp(values.data() + at, value.data(), value.size()) == 0;
    }

    const Bucket* find(std::string_view value) const {
        if (buckets.empty()) return nullptr;
        const uint64_t hash = hashOf(value);
        const size_t mask = buckets.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Bucket& b = buckets[i];
            if (b.hash == 0) return nullptr;
            if (b.hash == hash && holds(b, value)) return &b;
        }
    }

    const Bucket* insert(std::string_view value, size_t first, size_t count);
    void clear();
    size_t bytes() const { return rows.bytes.size() + values.size(); }

  private:
    const Bucket* place(const Bucket& b);
    void grow();
};

}  // namespace sql
