// The two standard primitives under the password cipher, as the cipher uses them.
//
// ripemd256() is RIPEMD-256 as published (32-byte digest, the eight state words
// in order, each little-endian). Blowfish is the 1993 cipher with 16 rounds and
// the standard key schedule; a block is two 32-bit halves, each read and written
// first byte most significant, which is the byte order of the published test
// vectors. Both come from Crypto++; this header keeps its types out of the rest
// of the program.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <memory>

namespace maintenance {

QByteArray ripemd256(QByteArrayView data);

class Blowfish {
  public:
    using Block = std::array<unsigned char, 8>;

    // key: 4 to 56 bytes, used cyclically by the key schedule.
    explicit Blowfish(QByteArrayView key);
    ~Blowfish();
    Blowfish(Blowfish&&) noexcept;
    Blowfish& operator=(Blowfish&&) noexcept;

    Block encrypt(const Block& block) const;
    Block decrypt(const Block& block) const;

  private:
    struct Schedule;
    std::unique_ptr<Schedule> schedule_;
};

}  // namespace maintenance
