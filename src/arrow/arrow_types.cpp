#include "arrow/arrow_types.hpp"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::arrow {
namespace {

constexpr std::array<std::pair<std::string_view, ArrowType>, 15> converting_formats{{
    {"c", ArrowType::int8},
    {"C", ArrowType::uint8},
    {"s", ArrowType::int16},
    {"S", ArrowType::uint16},
    {"i", ArrowType::int32},
    {"I", ArrowType::uint32},
    {"l", ArrowType::int64},
    {"L", ArrowType::uint64},
    {"e", ArrowType::float16},
    {"f", ArrowType::float32},
    {"g", ArrowType::float64},
    {"u", ArrowType::utf8},
    {"U", ArrowType::large_utf8},
    {"vu", ArrowType::utf8_view},
    {"n", ArrowType::null},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 35> other_formats{{
    {"n", "null"},
    {"b", "bool"},
    {"c", "int8"},
    {"C", "uint8"},
    {"s", "int16"},
    {"S", "uint16"},
    {"i", "int32"},
    {"I", "uint32"},
    {"l", "int64"},
    {"L", "uint64"},
    {"e", "float16"},
    {"f", "float32"},
    {"g", "float64"},
    {"u", "utf8"},
    {"U", "large_utf8"},
    {"vu", "utf8_view"},
    {"z", "binary"},
    {"Z", "large_binary"},
    {"vz", "binary_view"},
    {"tdD", "date32"},
    {"tdm", "date64"},
    {"tts", "time32[s]"},
    {"ttm", "time32[ms]"},
    {"ttu", "time64[us]"},
    {"ttn", "time64[ns]"},
    {"tiM", "interval[months]"},
    {"tiD", "interval[day_time]"},
    {"tin", "interval[month_day_nano]"},
    {"+l", "list"},
    {"+L", "large_list"},
    {"+vl", "list_view"},
    {"+vL", "large_list_view"},
    {"+s", "struct"},
    {"+m", "map"},
    {"+r", "run_end_encoded"},
}};

std::string_view unit_name(char unit) {
    switch (unit) {
        case 's': return "s";
        case 'm': return "ms";
        case 'u': return "us";
        case 'n': return "ns";
    }
    return "?";
}

// The name of a format string alone (a dictionary's index type, or a type without one).
std::string format_name(std::string_view format) {
    for (const auto& [code, name] : other_formats) {
        if (code == format) return std::string(name);
    }
    // Parametrised types: "tsu:UTC", "tDm", "w:16", "d:10,2", "+w:4", "+ud:0,1".
    if (format.size() >= 3 && format.substr(0, 2) == "ts") {
        std::string name = "timestamp[" + std::string(unit_name(format[2]));
        if (format.size() > 4 && format[3] == ':') name += ", tz=" + std::string(format.substr(4));
        return name + "]";
    }
    if (format.size() == 3 && format.substr(0, 2) == "tD") return "duration[" + std::string(unit_name(format[2])) + "]";
    if (format.substr(0, 2) == "w:") return "fixed_size_binary(" + std::string(format.substr(2)) + ")";
    if (format.substr(0, 3) == "+w:") return "fixed_size_list(" + std::string(format.substr(3)) + ")";
    if (format.substr(0, 2) == "+u") return "union";
    if (format.substr(0, 2) == "d:") {
        // d:precision,scale[,bits]
        std::vector<std::string_view> parts;
        for (std::string_view rest = format.substr(2);;) {
            const std::size_t comma = rest.find(',');
            parts.push_back(rest.substr(0, comma));
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
        const std::string_view scale = parts.size() > 1 ? parts[1] : "0";
        const std::string_view bits = parts.size() > 2 ? parts[2] : "128";
        return "decimal" + std::string(bits) + "(" + std::string(parts[0]) + ", " + std::string(scale) + ")";
    }
    return "\"" + std::string(format) + "\"";
}

}  // namespace

std::optional<ArrowType> arrow_type_of(const char* format) {
    if (!format) return std::nullopt;
    const std::string_view text(format);
    for (const auto& [code, type] : converting_formats) {
        if (code == text) return type;
    }
    return std::nullopt;
}

bool is_integer(ArrowType type) { return type <= ArrowType::uint64; }
bool is_float(ArrowType type) { return type >= ArrowType::float16 && type <= ArrowType::float64; }
bool is_text(ArrowType type) { return type >= ArrowType::utf8 && type <= ArrowType::utf8_view; }

std::string arrow_type_name(const ArrowSchema& schema) {
    const std::string_view format = schema.format ? schema.format : "";
    if (schema.dictionary) {
        return "dictionary<values=" + arrow_type_name(*schema.dictionary) + ", indices=" + format_name(format) + ">";
    }
    return format_name(format);
}

}  // namespace quorvel::arrow
