#include "maintenance/cipher_primitives.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/ripemd.h>

namespace maintenance {

QByteArray ripemd256(QByteArrayView data) {
    CryptoPP::RIPEMD256 hash;
    QByteArray digest(CryptoPP::RIPEMD256::DIGESTSIZE, Qt::Uninitialized);
    hash.CalculateDigest(reinterpret_cast<CryptoPP::byte*>(digest.data()),
                         reinterpret_cast<const CryptoPP::byte*>(data.data()),
                         static_cast<size_t>(data.size()));
    return digest;
}

struct Blowfish::Schedule {
    CryptoPP::BlowfishEncryption encryption;
    CryptoPP::BlowfishDecryption decryption;
};

Blowfish::Blowfish(QByteArrayView key) : schedule_(std::make_unique<Schedule>()) {
    const auto* bytes = reinterpret_cast<const CryptoPP::byte*>(key.data());
    const auto length = static_cast<size_t>(key.size());
    schedule_->encryption.SetKey(bytes, length);
    schedule_->decryption.SetKey(bytes, length);
}

Blowfish::~Blowfish() = default;
Blowfish::Blowfish(Blowfish&&) noexcept = default;
Blowfish& Blowfish::operator=(Blowfish&&) noexcept = default;

Blowfish::Block Blowfish::encrypt(const Block& block) const {
    Block out;
    schedule_->encryption.ProcessBlock(block.data(), out.data());
    return out;
}

Blowfish::Block Blowfish::decrypt(const Block& block) const {
    Block out;
    schedule_->decryption.ProcessBlock(block.data(), out.data());
    return out;
}

}  // namespace maintenance
