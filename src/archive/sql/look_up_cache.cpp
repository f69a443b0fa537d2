#include "archive/sql/look_up_cache.h"

#include <algorithm>

namespace sql {

const LookUpCache::Bucket* LookUpCache::insert(std::string_view value, size_t first, size_t count) {
    if ((used + 1) * 2 > buckets.size()) grow();
    Bucket b;
    b.hash = hashOf(value);
    b.first = uint32_t(first);
    b.count = uint32_t(count);
    if (value.size() <= kInline) {
        std::memcpy(b.value, value.data(), value.size());
        b.value[kInline] = char(value.size());
    } else {
        const auto at = uint32_t(values.size());
        const auto size = uint32_t(value.size());
        std::memcpy(b.value, &at, 4);
        std::memcpy(b.value + 4, &size, 4);
        b.value[kInline] = char(0xFF);
        values.append(value);
    }
    ++used;
    return place(b);
}

void LookUpCache::clear() {
    buckets.clear();
    used = 0;
    values.clear();
    rows.clear();
}

const LookUpCache::Bucket* LookUpCache::place(const Bucket& b) {
    const size_t mask = buckets.size() - 1;
    size_t i = b.hash & mask;
    while (buckets[i].hash != 0) i = (i + 1) & mask;
    buckets[i] = b;
    return &buckets[i];
}

void LookUpCache::grow() {
    std::vector<Bucket> old = std::move(buckets);
    buckets.assign(std::max<size_t>(64, old.size() * 2), Bucket{});
    for (const Bucket& s : old) {
        if (s.hash != 0) place(s);
    }
}

}  // namespace sql
