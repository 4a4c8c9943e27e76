// Reads doubles (8 bytes each, native order) from standard input and writes the text of
// each as write_float_text gives it, a line each: the C++ half of tools/check_float_text.py.
#include <cstdio>
#include <vector>

#include "number_text/float_text.hpp"

int main() {
    constexpr std::size_t block = 1 << 16;
    std::vector<double> values(block);
    std::vector<char> text(block * (quorvel::number_text::float_text_max + 1));
    for (;;) {
        const std::size_t count = std::fread(values.data(), sizeof(double), block, stdin);
        char* out = text.data();
        for (std::size_t i = 0; i < count; ++i) {
            out = quorvel::number_text::write_float_text(out, values[i]);
            *out++ = '\n';
        }
        if (std::fwrite(text.data(), 1, static_cast<std::size_t>(out - text.data()), stdout) !=
            static_cast<std::size_t>(out - text.data())) {
            return 1;
        }
        if (count < block) return std::ferror(stdin) ? 1 : 0;
    }
}
