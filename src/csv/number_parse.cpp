#include "number_parse.hpp"

#include <charconv>
#include <limits>

namespace quorvel::engine {
namespace {

constexpr std::uint64_t largest_magnitude = std::uint64_t{1} << 63;  // of a negative i64

// Texts of at most this many digits are read exactly into an integer below 2^53.
constexpr int exact_digits = 15;

// Powers of ten up to 10^exact_digits, all exact doubles.
constexpr double powers_of_ten[exact_digits + 1] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }

// What the float grammar learnt of a text it accepted.
struct FloatSyntax {
    enum class Kind { decimal, infinity, nan } kind = Kind::decimal;
    bool negative = false;
    bool has_exponent = false;
    std::int64_t digits = 0;           // all mantissa digits, leading zeros included
    std::int64_t fraction_digits = 0;  // of them, the ones after the point
    std::uint64_t mantissa = 0;        // the digits as an integer, exact when digits <= exact_digits
    std::int64_t magnitude = 0;        // decimal exponent of the first non-zero digit
};

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((text[i] | 0x20) != lower_word[i]) return false;
    }
    return true;
}

// Checks the text against the float grammar. `number` is left where the standard
// conversion must start: it takes a minus sign but not a plus sign.
bool scan_float(std::string_view text, FloatSyntax& syntax, const char*& number) {
    const char* p = text.data();
    const char* const end = p + text.size();
    if (p == end) return false;
    number = p;
    if (*p == '+' || *p == '-') {
        syntax.negative = *p == '-';
        if (*p == '+') ++number;
        ++p;
        const std::string_view word(p, static_cast<std::size_t>(end - p));
        if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
            syntax.kind = FloatSyntax::Kind::infinity;
            return true;
        }
        if (equals_ignoring_case(word, "nan")) {
            syntax.kind = FloatSyntax::Kind::nan;
            return true;
        }
    }

    std::int64_t leading_zeros = 0;
    bool seen_nonzero = false;
    for (; p != end && is_digit(*p); ++p) {
        ++syntax.digits;
        syntax.mantissa = syntax.mantissa * 10 + static_cast<unsigned>(*p - '0');
        if (*p != '0') seen_nonzero = true;
        if (!seen_nonzero) ++leading_zeros;
    }
    std::int64_t magnitude = seen_nonzero ? syntax.digits - leading_zeros - 1 : 0;
    if (p != end && *p == '.') {
        for (++p; p != end && is_digit(*p); ++p) {
            ++syntax.digits;
            ++syntax.fraction_digits;
            syntax.mantissa = syntax.mantissa * 10 + static_cast<unsigned>(*p - '0');
            if (!seen_nonzero) {
                --magnitude;
                seen_nonzero = *p != '0';
            }
        }
    }
    if (syntax.digits == 0) return false;  // "", "+", ".", "-.", or a letter first
    if (p != end && (*p == 'e' || *p == 'E')) {
        syntax.has_exponent = true;
        ++p;
        bool negative_exponent = false;
        if (p != end && (*p == '+' || *p == '-')) negative_exponent = *p++ == '-';
        if (p == end || !is_digit(*p)) return false;
        // Capped far beyond any exponent a double can express; only the direction matters then.
        constexpr std::int64_t cap = std::int64_t{1} << 40;
        std::int64_t exponent = 0;
        for (; p != end && is_digit(*p); ++p) {
            if (exponent < cap) exponent = exponent * 10 + (*p - '0');
        }
        magnitude += negative_exponent ? -exponent : exponent;
    }
    syntax.magnitude = magnitude;
    return p == end;
}

}  // namespace

std::optional<std::int64_t> parse_i64(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return std::nullopt;
    std::uint64_t magnitude = 0;
    if (end - p <= 18) {
        // Eighteen digits stay below 10^18 < 2^63: no overflow to watch for.
        for (; p != end; ++p) {
            const unsigned digit = static_cast<unsigned char>(*p - '0');
            if (digit > 9) return std::nullopt;
            magnitude = magnitude * 10 + digit;
        }
    } else {
        for (; p != end; ++p) {
            const unsigned digit = static_cast<unsigned char>(*p - '0');
            if (digit > 9 || __builtin_mul_overflow(magnitude, 10u, &magnitude) ||
                __builtin_add_overflow(magnitude, digit, &magnitude)) {
                return std::nullopt;
            }
        }
    }
    if (magnitude > largest_magnitude - (negative ? 0 : 1)) return std::nullopt;
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

std::optional<double> parse_f64(std::string_view text) {
    FloatSyntax syntax;
    const char* number = nullptr;
    if (!scan_float(text, syntax, number)) return std::nullopt;
    const auto with_sign = [&](double magnitude) { return syntax.negative ? -magnitude : magnitude; };
    switch (syntax.kind) {
        case FloatSyntax::Kind::infinity: return with_sign(std::numeric_limits<double>::infinity());
        case FloatSyntax::Kind::nan: return with_sign(std::numeric_limits<double>::quiet_NaN());
        case FloatSyntax::Kind::decimal: break;
    }
    if (syntax.digits <= exact_digits && !syntax.has_exponent) {
        // Both operands are exact, so the one division rounds correctly; the sign goes on
        // last so that -0 and -0.0 give negative zero.
        return with_sign(static_cast<double>(syntax.mantissa) / powers_of_ten[syntax.fraction_digits]);
    }
    double value = 0;
    const char* const end = text.data() + text.size();
    const std::from_chars_result converted = std::from_chars(number, end, value);
    if (converted.ec == std::errc::result_out_of_range) {
        // The standard conversion leaves the value alone when it overflows or underflows.
        return with_sign(syntax.magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0);
    }
    return value;
}

bool is_f64_text(std::string_view text) {
    FloatSyntax syntax;
    const char* number = nullptr;
    return scan_float(text, syntax, number);
}

}  // namespace quorvel::engine
