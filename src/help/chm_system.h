#pragma once

#include <QByteArray>
#include <QByteArrayView>

// What a CHM's #SYSTEM object says: a 4-byte version, then records of a 16-bit code, a 16-bit
// length and that many bytes, all little-endian. Texts are cut at their first zero byte and
// left in the file's code page. A record that runs past the end ends the reading; any bytes
// at all are safe to parse.
struct ChmSystem {
    QByteArray contentsFile; // code 0
    QByteArray defaultTopic; // code 2
    QByteArray title;        // code 3
    quint32 languageId = 0;  // code 4, its first 4 bytes
};

ChmSystem parseChmSystem(QByteArrayView bytes);
