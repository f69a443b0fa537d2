// Windows-1252, the code page of every text the archives and settings hold.
//
// decode() maps all 256 byte values: the 27 printable bytes of 0x80..0x9F go to
// their Unicode characters, and the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) go to the C1 control of the same value, so
// encode(decode(b)) == b for every byte string b.
//
// encode() refuses a character that has no byte: silently replacing it would
// store something other than what the operator typed.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace platform::cp1252 {

QChar toChar(unsigned char byte);
std::optional<unsigned char> toByte(QChar c);

QString decode(QByteArrayView bytes);

// Throws EncodingError naming the first character that has no Windows-1252 byte.
QByteArray encode(QStringView text);

bool canEncode(QStringView text);

}  // namespace platform::cp1252
