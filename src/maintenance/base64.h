// Base64 as the stored password text uses it.
//
// encode() writes the standard alphabet with "=" padding and no line breaks.
// decode() is lenient in the way stored texts have always been read: blanks,
// tabs, line breaks and the characters $ ( ) [ ] { } , ; : - _ \ * " ' are
// passed over; a text whose length is not a multiple of 4 reads as if "=" filled
// its last group; every "=" drops one byte from the end of its group. Any other
// character refuses the whole text with "Input is not an valid MIME Base 64
// Format." (platform::Error), before anything is decoded.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace maintenance::base64 {

QString encode(QByteArrayView bytes);
QByteArray decode(QStringView text);

}  // namespace maintenance::base64
