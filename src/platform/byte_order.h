// Little-endian integers inside file layouts (.dbf headers, .mdx pages,
// cabinet records): the one place that reads and writes them, the same bytes
// on any machine.
#pragma once

#include <cstdint>

namespace platform {

inline uint16_t readLe16(const void* at) {
    const auto* p = static_cast<const unsigned char*>(at);
    return uint16_t(p[0] | p[1] << 8);
}

inline uint32_t readLe32(const void* at) {
    const auto* p = static_cast<const unsigned char*>(at);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void writeLe16(void* at, uint16_t value) {
    auto* p = static_cast<unsigned char*>(at);
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

inline void writeLe32(void* at, uint32_t value) {
    auto* p = static_cast<unsigned char*>(at);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace platform
