#include "base/cp932.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace cp932 {
namespace {

constexpr const char* Utf16 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-16LE" : "UTF-16BE";

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Back to the initial state, as after iconv_open.
    void reset() {
        if (ok())
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }

    // Converts as much as it can; returns false with errno set when it stops early.
    bool run(char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
        return iconv(cd_, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    }

private:
    iconv_t cd_;
};

// iconv_open looks the converter up on disk each time; one of each per thread is enough.
Converter& decoder() {
    thread_local Converter converter(Utf16, "CP932");
    converter.reset();
    return converter;
}

Converter& encoder() {
    thread_local Converter converter("CP932", Utf16);
    converter.reset();
    return converter;
}

bool isEscape(char16_t c) {
    return c >= EscapeBase && c <= EscapeBase + 0x7F;
}

// How each byte and each double-byte code decodes, learnt from iconv row by row as rows are
// first met. A code whose character does not encode back to the same bytes (a second spelling,
// such as the NEC-selected IBM extensions) counts as invalid, so that decoding and encoding
// again always gives the bytes that were read.
class DecodeTable {
public:
    static constexpr char16_t Lead = 0xFFFF;    // marks a lead byte in the single-byte table
    static constexpr char16_t Invalid = 0xFFFE; // a noncharacter: no code decodes to it

    DecodeTable() {
        for (int b = 0; b < 0x80; ++b)
            single_[b] = static_cast<char16_t>(b);
        for (int b = 0x80; b < 0x100; ++b) {
            const char byte = static_cast<char>(b);
            single_[b] = isLeadByte(b) ? Lead : convert(QByteArrayView(&byte, 1));
        }
    }

    char16_t single(unsigned char b) const { return single_[b]; }

    char16_t pair(unsigned char lead, unsigned char trail) {
        auto& row = rows_[lead];
        if (!row) {
            row = std::make_unique<std::array<char16_t, 256>>();
            for (int t = 0; t < 0x100; ++t) {
                const char code[2] = {static_cast<char>(lead), static_cast<char>(t)};
                const char16_t unit = convert(QByteArrayView(code, 2));
                (*row)[t] = unit != Invalid && isCanonical(unit, code) ? unit : Invalid;
            }
        }
        return (*row)[trail];
    }

private:
    static bool isLeadByte(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

    // The single UTF-16 unit the bytes decode to, or Invalid.
    static char16_t convert(QByteArrayView bytes) {
        char16_t units[4];
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = static_cast<size_t>(bytes.size());
        char* out = reinterpret_cast<char*>(units);
        size_t outLeft = sizeof units;
        Converter& converter = decoder();
        if (!converter.ok() || !converter.run(in, inLeft, out, outLeft) ||
            out != reinterpret_cast<char*>(units + 1))
            return Invalid;
        return units[0];
    }

    static bool isCanonical(char16_t unit, const char (&code)[2]) {
        const auto bytes = encode(QStringView(&unit, 1)).bytes;
        return bytes && *bytes == QByteArrayView(code, 2);
    }

    std::array<char16_t, 256> single_;
    std::array<std::unique_ptr<std::array<char16_t, 256>>, 256> rows_;
};

char16_t escape(unsigned char byte) {
    return static_cast<char16_t>(EscapeBase + byte - 0x80);
}

} // namespace

QString decode(QByteArrayView bytes) {
    thread_local DecodeTable table;
    QString text;
    // One byte never yields more than one UTF-16 unit, escapes included.
    text.resize(bytes.size());
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = in[i];
        char16_t unit = table.single(b);
        if (unit == DecodeTable::Lead) {
            unit = i + 1 < size ? table.pair(b, in[i + 1]) : DecodeTable::Invalid;
            if (unit != DecodeTable::Invalid)
                ++i;
        }
        *out++ = unit == DecodeTable::Invalid ? escape(b) : unit;
    }
    text.resize(out - reinterpret_cast<char16_t*>(text.data()));
    return text;
}

EncodeResult encode(QStringView text) {
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    size_t inLeft = static_cast<size_t>(text.size()) * 2;
    char* out = bytes.data();
    size_t outLeft = static_cast<size_t>(bytes.size());

    Converter& converter = encoder();
    if (!converter.ok())
        return {std::nullopt, text.left(1).toString()};
    while (inLeft > 0) {
        if (converter.run(in, inLeft, out, outLeft))
            break;
        const auto* at = reinterpret_cast<const char16_t*>(in);
        const char16_t c = *at;
        if (!isEscape(c)) {
            const qsizetype pos = at - text.utf16();
            const bool pair = QChar::isHighSurrogate(c) && pos + 1 < text.size() &&
                              QChar::isLowSurrogate(text[pos + 1].unicode());
            return {std::nullopt, text.mid(pos, pair ? 2 : 1).toString()};
        }
        // An escape stands for the one byte it was read from.
        *out++ = static_cast<char>(c - EscapeBase + 0x80);
        --outLeft;
        in += 2;
        inLeft -= 2;
    }
    bytes.resize(out - bytes.data());
    return {bytes, {}};
}

} // namespace cp932
