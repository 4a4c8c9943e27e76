#include "engine/check.hpp"

#include <stdexcept>
#include <string>

namespace quorvel::engine {

void fail_check(const char* condition, const char* file, int line) {
    throw std::logic_error(std::string("quorvel: broken invariant ") + condition + " at " + file + ":" +
                           std::to_string(line));
}

}  // namespace quorvel::engine
