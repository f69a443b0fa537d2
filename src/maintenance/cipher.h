// The password cipher: the access password in, the stored password text out, and back.
//
// Every step is fixed, because settings files written by earlier installations
// must keep decoding to the same passwords:
//
//   K = RIPEMD-256 of the key string's Windows-1252 bytes, all 32 bytes used as
//       the Blowfish key;
//   V = E_K(FF FF FF FF FF FF FF FF); the chaining value F is V at the start of
//       every operation, so nothing carries over from one text to the next;
//   each full block:      C = E_K(P xor F), then F = C xor F
//                         (not CBC: F accumulates every cipher block);
//   a tail of 1..7 bytes: B = E_K(F), C = P xor B[0..r), then F = B xor F;
//   the bytes then go through base64 (base64.h), as many bytes out as in.
//
// Texts are handled one Windows-1252 byte per character. A password with a
// character that has no such byte is refused (EncodingError) rather than stored
// as something other than what was typed.
//
// Until InitKey() has run, EncodeText() and DecodeText() throw
// "TCipher_Blowfish is not initialized call Init() or InitKey() before.".
// A wrong key or a damaged stored text is not detected: it deciphers to other
// bytes, and the password comparison fails.
#pragma once

#include "maintenance/cipher_primitives.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace maintenance {

// The key string the login sets before every credential test.
inline constexpr char16_t kPasswordKey[] = u"KORVEXA";

class Cipher {
  public:
    void InitKey(QStringView key);
    bool isInitialized() const { return key_.has_value(); }

    // Password -> stored password text; the empty text stays empty.
    QString EncodeText(QStringView text) const;
    // Stored password text -> password; the empty text stays empty. Throws the
    // base64 error for a character that stored texts cannot hold.
    QString DecodeText(QStringView stored) const;

    // The chaining mode alone, on bytes.
    QByteArray encipher(QByteArrayView plain) const;
    QByteArray decipher(QByteArrayView enciphered) const;

  private:
    struct Key {
        Blowfish blowfish;
        Blowfish::Block start;  // V
    };
    const Key& key() const;

    std::optional<Key> key_;
};

}  // namespace maintenance
