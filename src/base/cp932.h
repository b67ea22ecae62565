#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// Conversion between Unicode text and Windows code page 932 (Shift-JIS), the encoding of every
// data file. Built on iconv's "CP932".
//
// Bytes that are not valid CP932 (a stray lead byte, an undefined single byte, or the second
// spelling of a character that Windows writes with another code) decode to one escape
// character each, U+F780 + (byte - 0x80), and encode back to that byte. So any file read and
// written again keeps its bytes exactly.
namespace cp932 {

// The first character of the escape range; byte b (0x80..0xFF) is EscapeBase + (b - 0x80).
inline constexpr char16_t EscapeBase = 0xF780;

QString decode(QByteArrayView bytes);

struct EncodeResult {
    std::optional<QByteArray> bytes; // empty when some character has no CP932 form
    QString offending;               // the first such character
};

// Encodes text; a character CP932 cannot carry makes the whole conversion fail.
EncodeResult encode(QStringView text);

} // namespace cp932
