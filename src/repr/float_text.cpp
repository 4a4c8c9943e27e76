#include "float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quorvel::engine {
namespace {

char* write_word(char* out, const char* word, std::size_t length) {
    std::memcpy(out, word, length);
    return out + length;
}

}  // namespace

char* write_float_text(char* out, double x) {
    if (std::isnan(x)) return write_word(out, "nan", 3);
    char* const limit = out + float_text_max;
    if (std::signbit(x)) *out++ = '-';
    x = std::fabs(x);
    if (std::isinf(x)) return write_word(out, "inf", 3);

    // A whole number below 2^53: every integer there is a double, so no shorter digits can
    // name this one, and its own digits are the shortest; they are written as an integer.
    if (x < 0x1p53) {
        const auto whole = static_cast<std::int64_t>(x);
        if (static_cast<double>(whole) == x) {
            out = std::to_chars(out, limit, whole).ptr;
            *out++ = '.';
            *out++ = '0';
            return out;
        }
    }

    // The standard library writes the shortest round-trip digits (the nearest among equals)
    // as d[.ddd]e±XX, which is already the layout for very small and very large magnitudes;
    // other magnitudes are laid out again around the point, in place.
    char* const end = std::to_chars(out, limit, x, std::chars_format::scientific).ptr;
    const char* e = end - 4;
    if (*e != 'e') --e;  // a three-digit exponent
    int exponent = (e[2] - '0') * 10 + (e[3] - '0');
    if (e + 5 == end) exponent = exponent * 10 + (e[4] - '0');
    if (e[1] == '-') exponent = -exponent;
    if (exponent < -4 || exponent >= 16) return end;

    // The digits d1 d2 ... dn stand at out[0] and out[2 .. n] (out[1] is the point, or the e
    // when n is 1).
    const int count = out[1] == '.' ? static_cast<int>(e - out) - 1 : 1;
    if (exponent < 0) {
        // 0.000ddd: every digit moves right by -exponent, then the zeros go in front.
        for (int k = count; k >= 2; --k) out[k - exponent] = out[k];
        out[1 - exponent] = out[0];
        out[0] = '0';
        out[1] = '.';
        for (int k = 2; k < 1 - exponent; ++k) out[k] = '0';
        return out + count + 1 - exponent;
    }
    // ddd.ddd: the digits before the point move left over it.
    const int whole = exponent + 1;
    const int moved = whole < count ? whole : count;
    for (int k = 1; k < moved; ++k) out[k] = out[k + 1];
    if (whole < count) {
        out[whole] = '.';
        return out + count + 1;
    }
    // A whole number: the zeros up to the point, and ".0".
    for (int k = count; k < whole; ++k) out[k] = '0';
    out[whole] = '.';
    out[whole + 1] = '0';
    return out + whole + 2;
}

std::string float_text(double x) {
    char text[float_text_max];
    return std::string(text, write_float_text(text, x));
}

}  // namespace quorvel::engine
