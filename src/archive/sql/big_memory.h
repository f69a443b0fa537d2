// Memory for the large buffers of the SQL layer (sorted rows, stored
// results): a buffer of 2 MiB or more is aligned to 2 MiB and, where the
// system offers transparent huge pages on request, backed by them. Filling a
// result of a million rows then costs a few hundred page faults instead of
// tens of thousands. Without huge pages the memory is ordinary memory.
//
// Only for trivially copyable types: nothing is constructed or destroyed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

namespace sql::memory {

constexpr size_t kHugePage = size_t(2) << 20;

// Raw memory of at least `bytes` (throws std::bad_alloc), released by std::free.
void* allocate(size_t bytes);

struct Free {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
using Array = std::unique_ptr<T[], Free>;

template <typename T>
Array<T> allocateArray(size_t count) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    return Array<T>(static_cast<T*>(allocate(count * sizeof(T))));
}

// A growing run of bytes in one piece.
class Bytes {
  public:
    const char* data() const { return data_.get(); }
    size_t size() const { return size_; }
    void clear() { size_ = 0; }
    void reserve(size_t capacity) {
        if (capacity <= capacity_) return;
        Array<char> bigger = allocateArray<char>(capacity);
        if (size_) std::memcpy(bigger.get(), data_.get(), size_);
        data_ = std::move(bigger);
        capacity_ = capacity;
    }
    // Room for `count` more bytes at the end; commit() what was written there.
    char* extend(size_t count) {
        if (size_ + count > capacity_) reserve(std::max(size_ + count, capacity_ * 2 + 4096));
        return data_.get() + size_;
    }
    void commit(size_t count) { size_ += count; }
    void append(const char* bytes, size_t count) {
        std::memcpy(extend(count), bytes, count);
        size_ += count;
    }

  private:
    Array<char> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace sql::memory
