// Any bytes as a CHM's #SYSTEM object: the reader must stay inside them (the sanitizers watch)
// and every text it gives back must be a piece of them.
#include "help/chm_system.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ChmSystem system = parseChmSystem(bytes);
    for (const QByteArray& text : {system.contentsFile, system.defaultTopic, system.title})
        if (!text.isEmpty() && (text.contains('\0') || !bytes.contains(text)))
            std::abort();
    return 0;
}
