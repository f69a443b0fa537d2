#include "platform/cp1252.h"
#include "platform/error.h"

#include <gtest/gtest.h>

namespace cp = platform::cp1252;

TEST(Cp1252, EveryByteRoundTrips) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(char(b));
    const QString text = cp::decode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(cp::encode(text), all);
}

TEST(Cp1252, KnownCharacters) {
    struct Case {
        unsigned char byte;
        char16_t unicode;
    };
    const Case cases[] = {
        {0x41, u'A'},    {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F},
        {0x90, 0x0090},  {0x9D, 0x009D}, {0x92, 0x2019}, {0x9F, 0x0178}, {0xE0, u'à'},
        {0xC8, u'È'},    {0xA0, 0x00A0}, {0xFF, 0x00FF}, {0x00, 0x0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        EXPECT_EQ(cp::toChar(c.byte).unicode(), c.unicode);
        EXPECT_EQ(cp::toByte(QChar(c.unicode)), c.byte);
    }
}

TEST(Cp1252, RefusesCharactersWithoutAByte) {
    for (const QString& text : {QStringLiteral("prezzo \u20AD"), QStringLiteral("\u0080"),
                                QStringLiteral("\u4E2D"), QString::fromUcs4(U"\U0001F600")}) {
        EXPECT_FALSE(cp::canEncode(text));
        EXPECT_THROW(cp::encode(text), platform::EncodingError);
    }
    try {
        cp::encode(u"ok \u4E2D");
        FAIL();
    } catch (const platform::EncodingError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("U+4E2D"))) << e.what();
    }
}
