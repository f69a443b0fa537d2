#include "platform/cp1252.h"

#include "platform/error.h"

#include <array>

namespace platform::cp1252 {
namespace {

// Unicode of bytes 0x80..0x9F; the undefined five keep their own value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

}  // namespace

QChar toChar(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return QChar(kHigh[byte - 0x80]);
    return QChar(char16_t(byte));
}

std::optional<unsigned char> toByte(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<unsigned char>(u);
    for (unsigned i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == u) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

QString decode(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (char b : bytes) *out++ = toChar(static_cast<unsigned char>(b));
    return text;
}

QByteArray encode(QStringView text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto b = toByte(text[i]);
        if (!b) {
            const char32_t code = text[i].isHighSurrogate() && i + 1 < text.size()
                                      ? QChar::surrogateToUcs4(text[i], text[i + 1])
                                      : text[i].unicode();
            throw EncodingError(
                QStringLiteral("The character U+%1 cannot be stored: it has no Windows-1252 code")
                    .arg(QString::number(uint(code), 16).toUpper().rightJustified(4, QLatin1Char('0'))));
        }
        *out++ = static_cast<char>(*b);
    }
    return bytes;
}

bool canEncode(QStringView text) {
    for (QChar c : text) {
        if (!toByte(c)) return false;
    }
    return true;
}

}  // namespace platform::cp1252
