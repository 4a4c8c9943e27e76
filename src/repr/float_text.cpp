#include "float_text.hpp"

#include <charconv>
#include <cmath>
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
    if (std::signbit(x)) *out++ = '-';
    x = std::fabs(x);
    if (std::isinf(x)) return write_word(out, "inf", 3);

    // The standard library writes the shortest round-trip digits (the nearest among equals)
    // as d[.ddd]e±XX, which is already the layout for very small and very large magnitudes.
    char* const end = std::to_chars(out, out + float_text_max, x, std::chars_format::scientific).ptr;
    const char* e = end - 4;
    if (*e != 'e') --e;  // a three-digit exponent
    int exponent = (e[2] - '0') * 10 + (e[3] - '0');
    if (e + 5 == end) exponent = exponent * 10 + (e[4] - '0');
    if (e[1] == '-') exponent = -exponent;
    if (exponent < -4 || exponent >= 16) return end;

    // Positional: lay the digits out again around the point.
    char digits[20];
    int count = 1;
    digits[0] = out[0];
    if (out[1] == '.') {
        count += static_cast<int>(e - (out + 2));
        std::memcpy(digits + 1, out + 2, static_cast<std::size_t>(count - 1));
    }
    if (exponent < 0) {
        const int zeros = -exponent - 1;
        *out++ = '0';
        *out++ = '.';
        std::memset(out, '0', static_cast<std::size_t>(zeros));
        std::memcpy(out + zeros, digits, static_cast<std::size_t>(count));
        return out + zeros + count;
    }
    const int whole = exponent + 1;
    if (whole >= count) {
        // A whole number: its digits, the zeros up to the point, and ".0".
        std::memcpy(out, digits, static_cast<std::size_t>(count));
        std::memset(out + count, '0', static_cast<std::size_t>(whole - count));
        out += whole;
        *out++ = '.';
        *out++ = '0';
        return out;
    }
    std::memcpy(out, digits, static_cast<std::size_t>(whole));
    out[whole] = '.';
    std::memcpy(out + whole + 1, digits + whole, static_cast<std::size_t>(count - whole));
    return out + count + 1;
}

std::string float_text(double x) {
    char text[float_text_max];
    return std::string(text, write_float_text(text, x));
}

}  // namespace quorvel::engine
