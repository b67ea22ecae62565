// Any text to TextToNumber: always a finite number, and the same from bytes as from text.
#include "base/text_to_number.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const double fromBytes = TextToNumber(bytes);
    const double fromText = TextToNumber(QString::fromLatin1(bytes));
    if (!std::isfinite(fromBytes) || fromBytes != fromText)
        std::abort();
    if (TextToNumber(NumberText(fromBytes)) != fromBytes)
        std::abort();
    toInt16(fromBytes);
    toInt64Clamped(fromBytes);
    return 0;
}
