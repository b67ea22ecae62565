#include "help/chm_system.h"

namespace {

constexpr quint16 ContentsFileCode = 0;
constexpr quint16 DefaultTopicCode = 2;
constexpr quint16 TitleCode = 3;
constexpr quint16 LanguageCode = 4;

// A little-endian number of `size` bytes at `pos`, which the caller has checked lie inside.
quint32 littleEndian(QByteArrayView bytes, qsizetype pos, int size) {
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<uchar>(bytes[pos + i]);
    return value;
}

QByteArray textOf(QByteArrayView data) {
    const qsizetype zero = data.indexOf('\0');
    return (zero >= 0 ? data.first(zero) : data).toByteArray();
}

} // namespace

ChmSystem parseChmSystem(QByteArrayView bytes) {
    ChmSystem system;
    for (qsizetype pos = 4; pos + 4 <= bytes.size();) {
        const auto code = static_cast<quint16>(littleEndian(bytes, pos, 2));
        const qsizetype length = littleEndian(bytes, pos + 2, 2);
        pos += 4;
        if (length > bytes.size() - pos)
            break;
        const QByteArrayView data = bytes.sliced(pos, length);
        pos += length;
        switch (code) {
        case ContentsFileCode:
            system.contentsFile = textOf(data);
            break;
        case DefaultTopicCode:
            system.defaultTopic = textOf(data);
            break;
        case TitleCode:
            system.title = textOf(data);
            break;
        case LanguageCode:
            if (data.size() >= 4)
                system.languageId = littleEndian(data, 0, 4);
            break;
        default:
            break;
        }
    }
    return system;
}
