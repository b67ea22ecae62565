// Any bytes as an item list file: the reader must not fail, and whatever it reads must survive
// being written again.
#include "base/cp932.h"
#include "data/records.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    records::LineScanner lines(bytes);
    for (QByteArrayView line; lines.next(line);) {
        for (const QByteArrayView field : records::splitFields<3>(line)) {
            if (field.contains('\n'))
                std::abort();
            const QString text = cp932::decode(field);
            const auto again = cp932::encode(text).bytes;
            if (!again || cp932::decode(*again) != text)
                std::abort();
        }
    }
    return 0;
}
