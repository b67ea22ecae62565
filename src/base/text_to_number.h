#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

// The program's one conversion from text to number, in the manner of BASIC's Val:
// blanks, tabs and line feeds anywhere are skipped; then an optional sign, decimal digits with
// at most one period and an optional exponent (E or e, optional sign, digits); or &H with
// hexadecimal or &O with octal digits, a whole number read as a 16-bit signed value up to
// 0xFFFF and as a 32-bit signed value up to 0xFFFFFFFF. Reading stops at the first character
// that fits none of these; a text with nothing readable gives 0. The result is always finite.
double TextToNumber(QStringView text);

// The same for text known to be single-byte (the count field of a history record); bytes
// outside ASCII simply stop the reading, as any non-number character does.
double TextToNumber(QByteArrayView text);

// TextToNumber of a count field, or nothing when it holds no digit that TextToNumber reads
// (abc, =1+2, the empty text, a sign or &H alone): a count that cannot be read, where
// TextToNumber would give 0.
std::optional<double> ReadNumber(QByteArrayView text);

// Conversion to an integer field: the nearest whole number, halves to the even neighbour;
// no value when it lies outside the field's range.
std::optional<qint16> toInt16(double value);

// Nearest whole number, halves to even, clamped to the 64-bit range.
qint64 toInt64Clamped(double value);

// Number as text for files and labels: whole values as plain digits, fractions as the shortest
// text that reads back to the same double (0.5, 12.5), an exponent only from 1E+15 on.
QString NumberText(double value);
