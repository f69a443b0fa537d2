#include "maintenance/base64.h"

#include "platform/error.h"

#include <algorithm>

namespace maintenance::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char16_t kPassedOver[] = u" $()[]{},;:-_\\*\"'\t\n\r";

// 0..63 for an alphabet character, -1 otherwise.
int sextet(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c - u'A';
    if (c >= u'a' && c <= u'z') return c - u'a' + 26;
    if (c >= u'0' && c <= u'9') return c - u'0' + 52;
    if (c == u'+') return 62;
    if (c == u'/') return 63;
    return -1;
}

bool passedOver(char16_t c) {
    return std::find(std::begin(kPassedOver), std::end(kPassedOver) - 1, c) !=
           std::end(kPassedOver) - 1;
}

[[noreturn]] void refuse() {
    throw platform::Error(
        QStringLiteral("Input is not an valid %1 Format.").arg(QStringLiteral("MIME Base 64")));
}

}  // namespace

QString encode(QByteArrayView bytes) {
    QString text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (qsizetype i = 0; i < bytes.size(); i += 3) {
        const qsizetype n = std::min<qsizetype>(3, bytes.size() - i);
        unsigned group = 0;
        for (qsizetype k = 0; k < 3; ++k) {
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (qsizetype k = 0; k < 4; ++k) {
            text += k <= n ? QChar(kAlphabet[(group >> (18 - 6 * k)) & 0x3F]) : QChar(u'=');
        }
    }
    return text;
}

QByteArray decode(QStringView text) {
    // Check everything first: a refused text yields nothing, not a prefix.
    QString significant;
    significant.reserve(text.size() + 3);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (sextet(u) >= 0 || u == u'=') {
            significant += c;
        } else if (!passedOver(u)) {
            refuse();
        }
    }
    while (significant.size() % 4 != 0) significant += QChar(u'=');

    QByteArray bytes;
    bytes.reserve(significant.size() / 4 * 3);
    for (qsizetype i = 0; i < significant.size(); i += 4) {
        unsigned group = 0;
        int padding = 0;
        for (qsizetype k = 0; k < 4; ++k) {
            const int value = sextet(significant[i + k].unicode());
            if (value < 0) ++padding;
            group = (group << 6) | unsigned(std::max(value, 0));
        }
        const int kept = std::max(0, 3 - padding);
        for (int k = 0; k < kept; ++k) bytes += char((group >> (16 - 8 * k)) & 0xFF);
    }
    return bytes;
}

}  // namespace maintenance::base64
