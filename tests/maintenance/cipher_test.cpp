#include "maintenance/cipher.h"
#include "maintenance/base64.h"
#include "maintenance/cipher_primitives.h"
#include "platform/cp1252.h"
#include "platform/error.h"

#include <gtest/gtest.h>

using maintenance::Blowfish;
using maintenance::Cipher;

// Readable failure output.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

QByteArray hex(const char* digits) {
    return QByteArray::fromHex(digits);
}

Blowfish::Block block(const char* digits) {
    const QByteArray bytes = hex(digits);
    Blowfish::Block b;
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

QByteArray bytes(const Blowfish::Block& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

Blowfish::Block xorBlocks(const Blowfish::Block& a, const Blowfish::Block& b) {
    Blowfish::Block out;
    for (size_t i = 0; i < 8; ++i) out[i] = a[i] ^ b[i];
    return out;
}

Blowfish::Block blockOf(const QByteArray& data, qsizetype offset) {
    Blowfish::Block b;
    for (size_t i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(data[offset + qsizetype(i)]);
    return b;
}

Cipher programCipher() {
    Cipher cipher;
    cipher.InitKey(maintenance::kPasswordKey);
    return cipher;
}

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::Error& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

}  // namespace

// The digests published with RIPEMD-256 by its designers.
TEST(CipherPrimitives, Ripemd256PublishedVectors) {
    struct Case {
        const char* message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
        {"a", "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925"},
        {"abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
        {"message digest", "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e"},
        {"abcdefghijklmnopqrstuvwxyz",
         "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "5740a408ac16b720b84424ae931cbb1fe363d1d0bf4017f1a89f7ea6de77a0b8"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(maintenance::ripemd256(QByteArrayView(c.message)).toHex(), QByteArray(c.digest));
    }
}

// The published Blowfish test vectors: single blocks, and the variable-length keys that
// show the key bytes are used cyclically and in the published byte order.
TEST(CipherPrimitives, BlowfishPublishedVectors) {
    struct Case {
        const char* key;
        const char* plain;
        const char* enciphered;
    };
    const Case cases[] = {
        {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
        {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
        {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
        {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
        {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
        {"f0e1d2c3", "fedcba9876543210", "be1e639408640f05"},
        {"f0e1d2c3b4a59687", "fedcba9876543210", "e87a244e2cc85e82"},
        {"f0e1d2c3b4a5968778695a4b3c2d1e0f", "fedcba9876543210", "93142887ee3be15c"},
        {"f0e1d2c3b4a5968778695a4b3c2d1e0f00", "fedcba9876543210", "03429e838ce2d14b"},
        {"f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677", "fedcba9876543210",
         "05044b62fa52d080"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const Blowfish blowfish(hex(c.key));
        EXPECT_EQ(bytes(blowfish.encrypt(block(c.plain))).toHex(), QByteArray(c.enciphered));
        EXPECT_EQ(bytes(blowfish.decrypt(block(c.enciphered))).toHex(), QByteArray(c.plain));
    }
}

// The chaining rule rebuilt step by step from the primitives: start value
// E_K(FF..FF), F absorbing every cipher block (F2 = C1 xor C0 xor V, where CBC
// would have F2 = C1), and the tail XORed with E_K(F).
TEST(Cipher, ChainingRuleStepByStep) {
    const Blowfish blowfish(maintenance::ripemd256("KORVEXA"));
    const Blowfish::Block v = blowfish.encrypt(block("ffffffffffffffff"));

    const QByteArray plain = "Edicola-Centrale!";  // two full blocks and one byte
    ASSERT_EQ(plain.size(), 17);
    const Blowfish::Block c0 = blowfish.encrypt(xorBlocks(blockOf(plain, 0), v));
    const Blowfish::Block f1 = xorBlocks(c0, v);
    const Blowfish::Block c1 = blowfish.encrypt(xorBlocks(blockOf(plain, 8), f1));
    const Blowfish::Block f2 = xorBlocks(c1, f1);
    const char tail = char(plain[16] ^ blowfish.encrypt(f2)[0]);
    const QByteArray expected = bytes(c0) + bytes(c1) + QByteArray(1, tail);

    const Cipher cipher = programCipher();
    EXPECT_EQ(cipher.encipher(plain).toHex(), expected.toHex());
    EXPECT_EQ(cipher.decipher(expected), plain);
    EXPECT_EQ(cipher.EncodeText(u"Edicola-Centrale!"), maintenance::base64::encode(expected));

    // A text shorter than a block is XORed with the first bytes of E_K(V).
    const Blowfish::Block ev = blowfish.encrypt(v);
    const QByteArray shortText = "abc";
    QByteArray shortExpected = shortText;
    for (int i = 0; i < 3; ++i) shortExpected[i] = char(shortText[i] ^ ev[size_t(i)]);
    EXPECT_EQ(cipher.encipher(shortText).toHex(), shortExpected.toHex());
}

// Stored texts already in settings files must keep decoding; these are pinned.
TEST(Cipher, PinnedStoredForms) {
    const Cipher cipher = programCipher();
    struct Case {
        const char16_t* password;
        const char* stored;
    };
    const Case cases[] = {
        {u"", ""},
        {u"tasmero", "oYuKndyaUg=="},
        {u"Edicola2024", "IhOCUwTrruB77pE="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.password).toStdString());
        EXPECT_EQ(cipher.EncodeText(c.password), QString::fromLatin1(c.stored));
        EXPECT_EQ(cipher.DecodeText(QString::fromLatin1(c.stored)), QString::fromUtf16(c.password));
    }
}

TEST(Cipher, LengthsOfStoredForms) {
    const Cipher cipher = programCipher();
    struct Case {
        QString text;
        qsizetype storedLength;
        QString padding;
    };
    const Case cases[] = {
        {QString(), 0, QString()},
        {QStringLiteral("x"), 4, QStringLiteral("==")},
        {QStringLiteral("ab"), 4, QStringLiteral("=")},
        {QStringLiteral("12345678"), 12, QStringLiteral("=")},
        {QStringLiteral("123456789"), 12, QString()},
        {QStringLiteral("0123456789abcdef"), 24, QStringLiteral("==")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QString stored = cipher.EncodeText(c.text);
        EXPECT_EQ(stored.size(), c.storedLength);
        EXPECT_TRUE(stored.endsWith(c.padding));
        EXPECT_FALSE(stored.endsWith(c.padding + QChar(u'=')));
        EXPECT_EQ(cipher.encipher(platform::cp1252::encode(c.text)).size(), c.text.size());
        EXPECT_EQ(cipher.DecodeText(stored), c.text);
    }
}

TEST(Cipher, FirstBlockDependsOnNothingElse) {
    const Cipher cipher = programCipher();
    const QByteArray a = cipher.encipher("abcdefgh");
    const QByteArray b = cipher.encipher("abcdefgh1");
    const QByteArray c = cipher.encipher("abcdefghXYZ12345");
    EXPECT_EQ(b.left(8), a);
    EXPECT_EQ(c.left(8), a);
    EXPECT_NE(c.mid(8, 1), b.mid(8, 1));
    // The same through the stored forms.
    EXPECT_EQ(maintenance::base64::decode(cipher.EncodeText(u"abcdefgh1")).left(8), a);
}

TEST(Cipher, NoStateCarriesOverAndEveryByteRoundTrips) {
    const Cipher cipher = programCipher();
    const QString first = cipher.EncodeText(u"password");
    cipher.EncodeText(u"something else entirely");
    cipher.DecodeText(first);
    EXPECT_EQ(cipher.EncodeText(u"password"), first);

    Cipher other;
    other.InitKey(u"KORVEXA");
    EXPECT_EQ(other.EncodeText(u"password"), first);

    QByteArray all;
    for (int i = 0; i < 256; ++i) all += char(255 - i);
    for (qsizetype n : {1, 7, 8, 9, 15, 16, 17, 255, 256}) {
        SCOPED_TRACE(n);
        const QByteArray plain = all.left(n);
        EXPECT_EQ(cipher.decipher(cipher.encipher(plain)), plain);
        const QString text = platform::cp1252::decode(plain);
        EXPECT_EQ(cipher.DecodeText(cipher.EncodeText(text)), text);
    }
    EXPECT_EQ(cipher.DecodeText(cipher.EncodeText(u"città € perché")), u"città € perché");
}

TEST(Cipher, KeyChangesTheStoredForm) {
    Cipher other;
    other.InitKey(u"korvexa");
    EXPECT_NE(other.EncodeText(u"password"), programCipher().EncodeText(u"password"));
    // A wrong key is not detected: it just gives other bytes.
    EXPECT_NE(other.DecodeText(programCipher().EncodeText(u"password")), u"password");
}

TEST(Cipher, Errors) {
    const Cipher cipher = programCipher();
    const QString base64Error = QStringLiteral("Input is not an valid MIME Base 64 Format.");
    for (const QString& stored :
         {QStringLiteral("!"), QStringLiteral("oYuK!dyaUg=="), QStringLiteral("abc."),
          QStringLiteral("abc\u00e9"), QStringLiteral(u"ab\u0000c")}) {
        SCOPED_TRACE(stored.toStdString());
        EXPECT_EQ(errorOf([&] { cipher.DecodeText(stored); }), base64Error);
    }

    const QString uninitialised =
        QStringLiteral("TCipher_Blowfish is not initialized call Init() or InitKey() before.");
    const Cipher fresh;
    EXPECT_FALSE(fresh.isInitialized());
    EXPECT_EQ(errorOf([&] { fresh.EncodeText(u"x"); }), uninitialised);
    EXPECT_EQ(errorOf([&] { fresh.DecodeText(u"AAAA"); }), uninitialised);
    EXPECT_EQ(errorOf([&] { fresh.EncodeText(u""); }), uninitialised);

    // A character with no Windows-1252 byte is refused, not stored as "?".
    EXPECT_THROW(cipher.EncodeText(u"pass\u4E2D"), platform::EncodingError);
}

TEST(Base64, WritesTheStandardForm) {
    struct Case {
        const char* bytes;
        const char* text;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xfb\xff\xbf", "+/+/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(maintenance::base64::encode(QByteArrayView(c.bytes)),
                  QString::fromLatin1(c.text));
        EXPECT_EQ(maintenance::base64::decode(QString::fromLatin1(c.text)), QByteArray(c.bytes));
    }
}

TEST(Base64, ReadingRules) {
    struct Case {
        const char16_t* text;
        const char* bytes;
    };
    const Case cases[] = {
        // Missing padding reads as if "=" filled the group.
        {u"Zm9vYm", "foob"},
        {u"Zm9vYmE", "fooba"},
        {u"Zg", "f"},
        {u"Z", ""},
        // Passed-over characters anywhere.
        {u" Zm9v\r\nYmFy\t", "foobar"},
        {u"$(Zm)[9v]{Ym},;:-_\\*\"'Fy", "foobar"},
        {u"   ", ""},
        // Every "=" drops one byte from the end of its own group.
        {u"Zg==Zm9v", "ffoo"},
        {u"====", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.text).toStdString());
        EXPECT_EQ(maintenance::base64::decode(c.text), QByteArray(c.bytes));
    }

    // Six characters without padding decipher as if "==" followed them.
    const Cipher cipher = programCipher();
    const QString stored = cipher.EncodeText(u"abcd");
    ASSERT_TRUE(stored.endsWith(u"=="));
    EXPECT_EQ(cipher.DecodeText(stored.left(6)), u"abcd");
    EXPECT_EQ(cipher.DecodeText(QStringLiteral(" ") + stored.left(3) + u'\n' + stored.mid(3, 3)),
              u"abcd");
}
