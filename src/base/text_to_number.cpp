#include "base/text_to_number.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// Walks the text the way Val reads it: blanks, tabs and line feeds are invisible everywhere.
template <typename Unit> class Reader {
public:
    Reader(const Unit* begin, const Unit* end) : p_(begin), end_(end) {}

    char32_t peek() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n'))
            ++p_;
        return p_ < end_ ? static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(*p_)) : 0;
    }
    void take() { ++p_; }

private:
    const Unit* p_;
    const Unit* end_;
};

bool isDigit(char32_t c) {
    return c >= '0' && c <= '9';
}

int digitValue(char32_t c, int base) {
    int d = -1;
    if (isDigit(c))
        d = static_cast<int>(c - '0');
    else if (c >= 'A' && c <= 'F')
        d = static_cast<int>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
        d = static_cast<int>(c - 'a' + 10);
    return d < base ? d : -1;
}

// &H / &O after the ampersand has been taken; `read` tells whether a digit followed.
template <typename Unit> double readRadix(Reader<Unit>& in, bool& read) {
    const char32_t kind = in.peek();
    const int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
    if (base == 0)
        return 0;
    in.take();
    quint64 value = 0;
    double wide = 0; // keeps going where 64 bits end
    for (int d; (d = digitValue(in.peek(), base)) >= 0; in.take()) {
        read = true;
        wide = std::min(wide * base + d, DBL_MAX);
        if (value <= (~quint64{0} - d) / base)
            value = value * base + d;
        else
            value = ~quint64{0};
    }
    if (value <= 0xFFFF)
        return static_cast<qint16>(static_cast<quint16>(value));
    if (value <= 0xFFFFFFFF)
        return static_cast<qint32>(static_cast<quint32>(value));
    return wide;
}

// from_chars reports overflow and underflow alike; tell them apart by the decimal magnitude.
double outOfRange(const std::string& mantissa, long long exponent, bool negative) {
    const auto firstNonZero = mantissa.find_first_not_of("0.");
    const auto period = std::min(mantissa.find('.'), mantissa.size());
    const long long magnitude = static_cast<long long>(period) -
                                static_cast<long long>(firstNonZero) - (firstNonZero < period) +
                                exponent;
    if (magnitude <= 0)
        return 0;
    return negative ? -DBL_MAX : DBL_MAX;
}

template <typename Unit> double readDecimal(Reader<Unit>& in, bool& read) {
    bool negative = false;
    if (const char32_t c = in.peek(); c == '+' || c == '-') {
        negative = c == '-';
        in.take();
    }
    std::string mantissa;
    bool period = false;
    for (char32_t c; (c = in.peek()), isDigit(c) || (c == '.' && !period); in.take()) {
        period = period || c == '.';
        mantissa.push_back(static_cast<char>(c));
    }
    read = mantissa.find_first_of("0123456789") != std::string::npos;
    if (!read)
        return 0;

    std::string exponentText;
    long long exponent = 0;
    if (const char32_t e = in.peek(); e == 'E' || e == 'e') {
        in.take();
        std::string digits;
        bool exponentNegative = false;
        if (const char32_t s = in.peek(); s == '+' || s == '-') {
            exponentNegative = s == '-';
            in.take();
        }
        for (char32_t c; isDigit(c = in.peek()); in.take()) {
            digits.push_back(static_cast<char>(c));
            exponent = std::min(exponent * 10 + static_cast<long long>(c - '0'), 1'000'000'000LL);
        }
        if (!digits.empty()) {
            exponentText = (exponentNegative ? "e-" : "e") + digits;
            exponent = exponentNegative ? -exponent : exponent;
        } else {
            exponent = 0;
        }
    }

    const std::string text = mantissa + exponentText;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return outOfRange(mantissa, exponent, negative);
    if (value == 0)
        return 0; // no negative zero
    return negative ? -value : value;
}

// The common case, a count as the program writes it: up to nine digits, maybe after a minus.
template <typename Unit>
[[gnu::always_inline]] inline std::optional<double> plainWholeNumber(const Unit* p,
                                                                     const Unit* end) {
    const bool negative = p < end && *p == '-';
    p += negative;
    if (p == end || end - p > 9)
        return std::nullopt;
    int value = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return std::nullopt;
        value = value * 10 + (*p - '0');
    }
    return negative ? -value : value;
}

template <typename Unit> double parse(const Unit* begin, const Unit* end, bool& read) {
    read = true;
    if (const std::optional<double> value = plainWholeNumber(begin, end))
        return *value == 0 ? 0.0 : *value;
    read = false;
    Reader<Unit> in(begin, end);
    if (in.peek() == '&') {
        in.take();
        return readRadix(in, read);
    }
    return readDecimal(in, read);
}

} // namespace

double TextToNumber(QStringView text) {
    bool read;
    return parse(text.utf16(), text.utf16() + text.size(), read);
}

double TextToNumber(QByteArrayView text) {
    // A count as the program writes it, without the full reader's frame: a history's total
    // reads a million of them.
    if (const std::optional<double> value =
            plainWholeNumber(text.data(), text.data() + text.size()))
        return *value == 0 ? 0.0 : *value;
    bool read;
    return parse(text.data(), text.data() + text.size(), read);
}

std::optional<double> ReadNumber(QByteArrayView text) {
    if (const std::optional<double> value =
            plainWholeNumber(text.data(), text.data() + text.size()))
        return *value == 0 ? 0.0 : *value;
    bool read;
    const double value = parse(text.data(), text.data() + text.size(), read);
    return read ? std::optional(value) : std::nullopt;
}

std::optional<qint16> toInt16(double value) {
    const double whole = std::nearbyint(value);
    if (!(whole >= -32768 && whole <= 32767))
        return std::nullopt;
    return static_cast<qint16>(whole);
}

qint64 toInt64Clamped(double value) {
    const double whole = std::nearbyint(value);
    // 2^63 is exactly representable; anything at or beyond it is out of range.
    if (whole >= 9223372036854775808.0)
        return std::numeric_limits<qint64>::max();
    if (whole < -9223372036854775808.0 || std::isnan(whole))
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(whole);
}

QString NumberText(double value) {
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    char buffer[400];
    std::to_chars_result result;
    if (std::fabs(value) < 1e15) {
        result = value == std::trunc(value)
                     ? std::to_chars(buffer, std::end(buffer), value, std::chars_format::fixed, 0)
                     : std::to_chars(buffer, std::end(buffer), value, std::chars_format::fixed);
    } else {
        result = std::to_chars(buffer, std::end(buffer), value, std::chars_format::scientific);
        std::replace(buffer, result.ptr, 'e', 'E');
    }
    return QString::fromLatin1(buffer, result.ptr - buffer);
}
