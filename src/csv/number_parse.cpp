#include "csv/number_parse.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "csv/byte_words.hpp"
#include "csv/power_of_ten_division.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel::csv {
namespace {

constexpr std::uint64_t largest_magnitude = std::uint64_t{1} << 63;  // of a negative i64

// Texts of at most this many digits are read exactly into an integer below 2^53.
constexpr std::ptrdiff_t exact_digits = 15;

// Powers of ten up to 10^exact_digits, all exact doubles.
constexpr double powers_of_ten[exact_digits + 1] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Texts of at most this many digits fit a 64-bit integer.
constexpr unsigned wide_digits = most_fraction_digits;

constexpr std::uint64_t integer_powers_of_ten[wide_digits + 1] = {1,
                                                                   10,
                                                                   100,
                                                                   1000,
                                                                   10000,
                                                                   100000,
                                                                   1000000,
                                                                   10000000,
                                                                   100000000,
                                                                   1000000000,
                                                                   10000000000,
                                                                   100000000000,
                                                                   1000000000000,
                                                                   10000000000000,
                                                                   100000000000000,
                                                                   1000000000000000,
                                                                   10000000000000000,
                                                                   100000000000000000,
                                                                   1000000000000000000,
                                                                   10000000000000000000u};

constexpr double infinity = std::numeric_limits<double>::infinity();

// An integer below 2^63 as a double. The conversion instruction writes only the low half of
// its register and so first waits for the value last there, often the previous field's
// quotient: converting into a register just zeroed breaks that chain across fields.
double to_double(std::uint64_t integer) {
#if defined(__SSE2__) && defined(__GNUC__)
    __m128d zero = _mm_setzero_pd();
    __asm__("" : "+x"(zero));  // else the compiler sees through the zero and drops it
    return _mm_cvtsd_f64(_mm_cvtsi64_sd(zero, static_cast<long long>(integer)));
#else
    return static_cast<double>(integer);
#endif
}

unsigned digit_value(char c) { return static_cast<unsigned char>(c - '0'); }

// The magnitude with the sign bit set when `negative`, without a branch: signs in a column
// of numbers follow no pattern a branch predictor could learn.
double with_sign(double magnitude, bool negative) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) | std::uint64_t{negative} << 63);
}

// A decimal literal the grammar accepts: where its parts are, and its digits as an integer
// (exact when there are at most exact_digits of them).
struct Decimal {
    bool negative = false;
    const char* digits = nullptr;     // the first digit or the point
    const char* exponent = nullptr;   // the e or E, or the end
    std::ptrdiff_t digit_count = 0;
    std::ptrdiff_t fraction_digits = 0;
    std::uint64_t mantissa = 0;
};

// Scans [sign] (digits [. digits] | . digits) [e|E [sign] digits] up to the end of the text.
bool scan_decimal(const char* p, const char* const end, Decimal& decimal) {
    if (p != end && (*p == '+' || *p == '-')) decimal.negative = *p++ == '-';
    decimal.digits = p;
    std::uint64_t mantissa = 0;
    for (; p != end && digit_value(*p) <= 9; ++p) mantissa = mantissa * 10 + digit_value(*p);
    std::ptrdiff_t count = p - decimal.digits;
    if (p != end && *p == '.') {
        const char* const fraction = ++p;
        for (; p != end && digit_value(*p) <= 9; ++p) mantissa = mantissa * 10 + digit_value(*p);
        decimal.fraction_digits = p - fraction;
        count += decimal.fraction_digits;
    }
    if (count == 0) return false;
    decimal.digit_count = count;
    decimal.mantissa = mantissa;
    decimal.exponent = p;
    if (p == end) return true;
    if (*p != 'e' && *p != 'E') return false;
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    const char* const exponent_digits = p;
    while (p != end && digit_value(*p) <= 9) ++p;
    return p != exponent_digits && p == end;
}

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((text[i] | 0x20) != lower_word[i]) return false;
    }
    return true;
}

// Whether the text is a signed inf, infinity or nan; sets `value` when it is.
bool parse_signed_word(std::string_view text, double& value) {
    if (text.size() < 4 || (text[0] != '+' && text[0] != '-')) return false;
    const double sign = text[0] == '-' ? -1.0 : 1.0;
    const std::string_view word = text.substr(1);
    if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
        value = sign * infinity;
        return true;
    }
    if (equals_ignoring_case(word, "nan")) {
        value = std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
        return true;
    }
    return false;
}

// For a literal out of the double's range: whether it is too large rather than too small,
// told by the decimal exponent of its first non-zero digit (there is one, or it would be 0).
bool too_large(const Decimal& decimal, const char* const end) {
    const char* const point = std::find(decimal.digits, decimal.exponent, '.');
    const char* first = decimal.digits;
    while (first != decimal.exponent && (*first == '0' || *first == '.')) ++first;
    std::int64_t magnitude = first < point ? point - first - 1 : point - first;
    if (decimal.exponent != end) {
        const char* p = decimal.exponent + 1;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-') ++p;
        // Capped far beyond any double's exponent: only the direction matters then.
        std::int64_t exponent = 0;
        for (; p != end && exponent < (std::int64_t{1} << 40); ++p) exponent = exponent * 10 + digit_value(*p);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0;
}

// Eight characters as one word, each digit becoming its value 0 to 9.
std::uint64_t digit_word(const char* p) { return load_word(p) ^ 0x3030303030303030; }

// Bit 7 of each byte of a digit word that is not a digit. (A byte of 0x8A or more carries
// into the next when 0x76 is added, but is itself flagged, and only bytes after it are
// disturbed.)
std::uint64_t non_digits(std::uint64_t digits) {
    return (digits | (digits + 0x7676767676767676)) & 0x8080808080808080;
}

// The number written by the eight digits of a digit word, its first byte the most
// significant (bytes of 0 are leading zeros): joined in pairs, fours and eights by three
// multiplications.
std::uint64_t eight_digits(std::uint64_t digits) {
    std::uint64_t v = (digits * (10 * 256 + 1)) >> 8;
    v = ((v & 0x00FF00FF00FF00FF) * (100 * 65536 + 1)) >> 16;
    return ((v & 0x0000FFFF0000FFFF) * (10000 * (std::uint64_t{1} << 32) + 1)) >> 32;
}

// The number written by the first `count` (1 to 8) digits of a digit word: they are moved to
// the top, leading zeros below them.
std::uint64_t digits_value(std::uint64_t digits, unsigned count) { return eight_digits(digits << (8 * (8 - count))); }

// The general conversion of a text whose first character after its sign is a digit or a
// point: the standard one, which is correctly rounded and accepts the same literals from
// there (digits with an optional point and exponent), but takes a minus sign only, and
// leaves the value alone when it is out of range.
bool convert_decimal(std::string_view text, double& value) {
    const char* const end = text.data() + text.size();
    const std::from_chars_result converted = std::from_chars(text.data() + (text.front() == '+' ? 1 : 0), end, value);
    if (converted.ec == std::errc::invalid_argument || converted.ptr != end) return false;
    if (converted.ec == std::errc::result_out_of_range) {
        Decimal decimal;
        scan_decimal(text.data(), end, decimal);
        value = with_sign(too_large(decimal, end) ? infinity : 0.0, decimal.negative);
    }
    return true;
}

}  // namespace

bool parse_i64(std::string_view text, std::int64_t& value) {
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return false;
    std::uint64_t magnitude = 0;
    if (end - p <= 18) {
        // Eighteen digits stay below 10^18 < 2^63: no overflow to watch for.
        for (; p != end; ++p) {
            const unsigned digit = digit_value(*p);
            if (digit > 9) return false;
            magnitude = magnitude * 10 + digit;
        }
    } else {
        for (; p != end; ++p) {
            const unsigned digit = digit_value(*p);
            if (digit > 9 || __builtin_mul_overflow(magnitude, 10u, &magnitude) ||
                __builtin_add_overflow(magnitude, digit, &magnitude)) {
                return false;
            }
        }
    }
    if (magnitude > largest_magnitude - (negative ? 0 : 1)) return false;
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

bool parse_f64(std::string_view text, double& value) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    if (p == end) return false;
    if (digit_value(*p) > 9 && *p != '.') return parse_signed_word(text, value);

    // Most fields are digits with at most one point, few enough to be read exactly; they
    // are read here in one pass, the rest by the standard conversion.
    if (end - p <= exact_digits + 1) {
        const char* const digits = p;
        std::uint64_t mantissa = 0;
        for (; p != end && digit_value(*p) <= 9; ++p) mantissa = mantissa * 10 + digit_value(*p);
        std::ptrdiff_t digit_count = p - digits;
        std::ptrdiff_t fraction_digits = 0;
        if (p != end && *p == '.') {
            const char* const fraction = ++p;
            for (; p != end && digit_value(*p) <= 9; ++p) mantissa = mantissa * 10 + digit_value(*p);
            fraction_digits = p - fraction;
            digit_count += fraction_digits;
        }
        if (p == end && digit_count > 0 && digit_count <= exact_digits) {
            // Both operands are exact, so the one division rounds correctly; the sign goes
            // on last so that -0 and -0.0 give negative zero.
            value = with_sign(to_double(mantissa) / powers_of_ten[fraction_digits], negative);
            return true;
        }
    }
    return convert_decimal(text, value);
}

namespace {

// A field of one to eight characters after an optional sign, with eight bytes readable from
// where they start: the fields the word-at-a-time paths below read.
struct ShortField {
    const char* digits;
    unsigned count;
    bool negative;
};

bool short_field(std::string_view field, std::string_view text, ShortField& out) {
    const char* const p = field.data();
    if (!byte_words || field.empty() || text.data() + text.size() - p <= 8) return false;
    out.negative = *p == '-';
    const unsigned sign = out.negative || *p == '+' ? 1 : 0;
    out.digits = p + sign;
    out.count = static_cast<unsigned>(field.size()) - sign;
    return out.count - 1 < 8;
}

// The value of `count` (0 to 16) digits at `p`, eight at a time, if they are all digits; the
// words read may reach 7 bytes past them.
bool digit_run(const char* p, unsigned count, std::uint64_t& value) {
    std::uint64_t run = 0;
    if (count > 8) {
        const std::uint64_t digits = digit_word(p);
        if (non_digits(digits) != 0) return false;
        run = eight_digits(digits);
        p += 8;
        count -= 8;
    }
    if (count != 0) {
        const std::uint64_t digits = digit_word(p);
        if ((non_digits(digits) & first_bytes(count)) != 0) return false;
        run = run * integer_powers_of_ten[count] + digits_value(digits, count);
    }
    value = run;
    return true;
}

// The last `count` (0 to 8) bytes of a word.
constexpr std::uint64_t last_bytes[9] = {0,
                                         0xFF00000000000000,
                                         0xFFFF000000000000,
                                         0xFFFFFF0000000000,
                                         0xFFFFFFFF00000000,
                                         0xFFFFFFFFFF000000,
                                         0xFFFFFFFFFFFF0000,
                                         0xFFFFFFFFFFFFFF00,
                                         0xFFFFFFFFFFFFFFFF};

// The value of the last `count` (0 to 8) bytes of a digit word, as digits, if they are.
bool last_digits(std::uint64_t digits, unsigned count, std::uint64_t& value) {
    const std::uint64_t mask = last_bytes[count];
    value = eight_digits(digits & mask);
    return (non_digits(digits) & mask) == 0;
}

// The value of the last `count` (0 to 16) of the 16 bytes before `end`, as digits, if they
// are. With SSE2 the sixteen are joined in pairs, fours and eights by three multiply-adds of
// 16-bit lanes, where two words would take six multiplications.
bool last_sixteen_digits(const char* end, unsigned count, std::uint64_t& value) {
#ifdef __SSE2__
    // 16 bytes read at `count` keep the last `count` bytes of a block.
    static constexpr auto window = [] {
        std::array<unsigned char, 32> bytes{};
        for (std::size_t i = 16; i < bytes.size(); ++i) bytes[i] = 0xFF;
        return bytes;
    }();
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
    const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window.data() + count));
    const __m128i digits = _mm_and_si128(_mm_sub_epi8(text, _mm_set1_epi8('0')), keep);
    // Any other byte is above 9 once '0' is taken from it.
    const __m128i above_nine = _mm_subs_epu8(digits, _mm_set1_epi8(9));
    const bool all_digits = _mm_movemask_epi8(_mm_cmpeq_epi8(above_nine, _mm_setzero_si128())) == 0xFFFF;
    const __m128i zero = _mm_setzero_si128();
    const __m128i by_ten = _mm_set_epi16(1, 10, 1, 10, 1, 10, 1, 10);
    const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), by_ten),
                                          _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), by_ten));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set_epi16(1, 100, 1, 100, 1, 100, 1, 100));
    const __m128i eights =
        _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set_epi16(1, 10000, 1, 10000, 1, 10000, 1, 10000));
    const auto first = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
    const auto second = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    value = std::uint64_t{first} * 100000000 + second;
    return all_digits;
#else
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    const bool all_digits = last_digits(digit_word(end - 16), std::max(count, 8u) - 8, first) &
                            last_digits(digit_word(end - 8), std::min(count, 8u), second);
    value = first * 100000000 + second;
    return all_digits;
#endif
}

// A decimal of 9 to wide_digits + 1 characters after its sign, with a point among its first
// 16, 24 bytes readable before its end and 8 after it: Python's repr of a double, whose
// length varies from one field to the next by a digit or two. The fraction is read in 16
// bytes and a word back from the field's end, each masked to the digits it holds, so that
// its length moves no branch; the digits before the point (rarely more than eight) are read
// forward.
// The value is divided once: by a double when both operands are exact, else by Eisel and
// Lemire's product.
bool parse_long_decimal(std::string_view field, std::string_view text, double& value) {
    if constexpr (!byte_words) return false;
    const char* p = field.data();
    const char* const end = p + field.size();
    const bool negative = *p == '-';
    p += negative || *p == '+' ? 1 : 0;
    const auto count = static_cast<unsigned>(end - p);
    if (count - 9 > wide_digits + 1 - 9 || end - text.data() < 24 || text.data() + text.size() - end < 8) return false;

    std::uint64_t points = bytes_equal(load_word(p), '.');
    unsigned point = first_flagged(points);
    if (points == 0) {
        points = bytes_equal(load_word(p + 8), '.') & first_bytes(std::min(count - 8, 8u));
        if (points == 0) return false;
        point = 8 + first_flagged(points);
    }
    const unsigned fraction_digits = count - point - 1;
    if (point + fraction_digits > wide_digits || fraction_digits == 0) return false;

    std::uint64_t whole = 0;
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    // One digit before the point (a double's repr between 0 and 10) is the common case.
    const bool whole_digits = point == 1 ? (whole = digit_value(*p)) <= 9 : digit_run(p, point, whole);
    const bool digits = whole_digits & last_sixteen_digits(end, std::min(fraction_digits, 16u), low) &
                        last_digits(digit_word(end - 24), std::max(fraction_digits, 16u) - 16, high);
    if (!digits) return false;
    const std::uint64_t mantissa =
        whole * integer_powers_of_ten[fraction_digits] + high * 10000000000000000 + low;
    if (point + fraction_digits <= exact_digits) {
        value = with_sign(to_double(mantissa) / powers_of_ten[fraction_digits], negative);
        return true;
    }
    value = with_sign(divide_by_power_of_ten(mantissa, fraction_digits), negative);
    return true;
}

}  // namespace

bool parse_i64_field(std::string_view field, std::string_view text, std::int64_t& value) {
    ShortField f;
    if (short_field(field, text, f)) {
        // One to eight digits: no overflow to watch for.
        const std::uint64_t digits = digit_word(f.digits);
        if ((non_digits(digits) & first_bytes(f.count)) != 0) return false;
        const auto magnitude = static_cast<std::int64_t>(digits_value(digits, f.count));
        value = f.negative ? -magnitude : magnitude;
        return true;
    }
    return parse_i64(field, value);
}

bool parse_f64_field(std::string_view field, std::string_view text, double& value) {
    ShortField f;
    if (short_field(field, text, f)) {
        const std::uint64_t digits = digit_word(f.digits);
        const std::uint64_t others = non_digits(digits) & first_bytes(f.count);
        if (others == 0) {
            value = with_sign(to_double(digits_value(digits, f.count)), f.negative);
            return true;
        }
        // One point among digits: the digits after it move down over it.
        const unsigned point = first_flagged(others);
        if ((others & (others - 1)) == 0 && f.digits[point] == '.' && f.count >= 2) {
            const std::uint64_t before = digits & ~(~std::uint64_t{0} << (8 * point));
            const std::uint64_t after = digits >> (8 * point) >> 8;
            const std::uint64_t joined = before | after << (8 * point);
            const double mantissa = to_double(digits_value(joined, f.count - 1));
            value = with_sign(mantissa / powers_of_ten[f.count - 1 - point], f.negative);
            return true;
        }
    } else if (field.size() >= 9 && parse_long_decimal(field, text, value)) {
        return true;
    }
    return parse_f64(field, value);
}

bool is_f64_text(std::string_view text) {
    // Most texts begin with a letter: no float does.
    if (text.empty() || (digit_value(text.front()) > 9 && text.front() != '.' && text.front() != '-' &&
                         text.front() != '+')) {
        return false;
    }
    Decimal decimal;
    double word = 0;
    return scan_decimal(text.data(), text.data() + text.size(), decimal) || parse_signed_word(text, word);
}

}  // namespace quorvel::csv
