#include "float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace quorvel::engine {
namespace {

char* write_word(char* out, const char* word) {
    const std::size_t length = std::strlen(word);
    std::memcpy(out, word, length);
    return out + length;
}

char* write_zeros(char* out, int count) {
    std::memset(out, '0', static_cast<std::size_t>(count));
    return out + count;
}

}  // namespace

char* write_float_text(char* out, double x) {
    if (std::isnan(x)) return write_word(out, "nan");
    if (std::signbit(x)) *out++ = '-';
    x = std::fabs(x);
    if (std::isinf(x)) return write_word(out, "inf");

    // The standard library finds the shortest round-trip digits (nearest among equals);
    // its scientific form d[.ddd]e±XX gives them and their decimal exponent, which are
    // then laid out by the magnitude rules below.
    char scientific[32];
    const char* end = std::to_chars(scientific, scientific + sizeof scientific, x, std::chars_format::scientific).ptr;
    char digits[20];
    int count = 0;
    const char* p = scientific;
    digits[count++] = *p++;
    if (*p == '.') {
        for (++p; *p != 'e'; ++p) digits[count++] = *p;
    }
    ++p;  // the e
    const bool negative_exponent = *p++ == '-';
    int exponent = 0;
    for (; p != end; ++p) exponent = exponent * 10 + (*p - '0');
    if (negative_exponent) exponent = -exponent;

    if (exponent < -4 || exponent >= 16) {
        *out++ = digits[0];
        if (count > 1) {
            *out++ = '.';
            std::memcpy(out, digits + 1, static_cast<std::size_t>(count - 1));
            out += count - 1;
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) *out++ = '0';
        return std::to_chars(out, out + 3, magnitude).ptr;
    }
    if (exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        out = write_zeros(out, -exponent - 1);
        std::memcpy(out, digits, static_cast<std::size_t>(count));
        return out + count;
    }
    if (exponent + 1 >= count) {
        std::memcpy(out, digits, static_cast<std::size_t>(count));
        out = write_zeros(out + count, exponent + 1 - count);
        *out++ = '.';
        *out++ = '0';
        return out;
    }
    const int whole = exponent + 1;
    std::memcpy(out, digits, static_cast<std::size_t>(whole));
    out += whole;
    *out++ = '.';
    std::memcpy(out, digits + whole, static_cast<std::size_t>(count - whole));
    return out + (count - whole);
}

std::string float_text(double x) {
    char text[float_text_max];
    return std::string(text, write_float_text(text, x));
}

}  // namespace quorvel::engine
