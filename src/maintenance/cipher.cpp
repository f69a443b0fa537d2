#include "maintenance/cipher.h"

#include "maintenance/base64.h"
#include "platform/cp1252.h"
#include "platform/error.h"

namespace maintenance {
namespace {

using Block = Blowfish::Block;

Block xorBlocks(const Block& a, const Block& b) {
    Block out;
    for (size_t i = 0; i < out.size(); ++i) out[i] = a[i] ^ b[i];
    return out;
}

Block blockAt(QByteArrayView bytes, qsizetype offset) {
    Block block;
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<unsigned char>(bytes[offset + qsizetype(i)]);
    }
    return block;
}

void storeBlock(QByteArray& bytes, qsizetype offset, const Block& block) {
    for (size_t i = 0; i < block.size(); ++i) bytes[offset + qsizetype(i)] = char(block[i]);
}

enum class Direction { Encipher, Decipher };

// Both directions share the chaining rule: F always absorbs the enciphered block.
QByteArray chain(const Blowfish& blowfish, const Block& start, QByteArrayView in,
                 Direction direction) {
    QByteArray out(in.size(), Qt::Uninitialized);
    Block f = start;
    const qsizetype full = in.size() / 8 * 8;
    for (qsizetype offset = 0; offset < full; offset += 8) {
        const Block block = blockAt(in, offset);
        if (direction == Direction::Encipher) {
            const Block c = blowfish.encrypt(xorBlocks(block, f));
            storeBlock(out, offset, c);
            f = xorBlocks(c, f);
        } else {
            storeBlock(out, offset, xorBlocks(blowfish.decrypt(block), f));
            f = xorBlocks(block, f);
        }
    }
    if (full < in.size()) {
        // The tail is a stream cipher on E_K(F): the same in both directions.
        const Block b = blowfish.encrypt(f);
        for (qsizetype i = full; i < in.size(); ++i) {
            out[i] = char(static_cast<unsigned char>(in[i]) ^ b[size_t(i - full)]);
        }
    }
    return out;
}

}  // namespace

void Cipher::InitKey(QStringView key) {
    Blowfish blowfish(ripemd256(platform::cp1252::encode(key)));
    Block ones;
    ones.fill(0xFF);
    const Block start = blowfish.encrypt(ones);
    key_.emplace(Key{std::move(blowfish), start});
}

const Cipher::Key& Cipher::key() const {
    if (!key_) {
        throw platform::Error(
            QStringLiteral("%1 is not initialized call Init() or InitKey() before.")
                .arg(QStringLiteral("TCipher_Blowfish")));
    }
    return *key_;
}

QByteArray Cipher::encipher(QByteArrayView plain) const {
    const Key& k = key();
    return chain(k.blowfish, k.start, plain, Direction::Encipher);
}

QByteArray Cipher::decipher(QByteArrayView enciphered) const {
    const Key& k = key();
    return chain(k.blowfish, k.start, enciphered, Direction::Decipher);
}

QString Cipher::EncodeText(QStringView text) const {
    key();
    if (text.isEmpty()) return QString();
    return base64::encode(encipher(platform::cp1252::encode(text)));
}

QString Cipher::DecodeText(QStringView stored) const {
    key();
    if (stored.isEmpty()) return QString();
    return platform::cp1252::decode(decipher(base64::decode(stored)));
}

}  // namespace maintenance
