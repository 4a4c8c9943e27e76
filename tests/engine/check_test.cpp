#include "engine/check.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "engine/result.hpp"

namespace quorvel::engine {
namespace {

// Invariant checks are on in Debug, sanitizer and fuzzing builds only; reading the value of a
// failed Result is the broken invariant at hand.
TEST(Check, ABrokenInvariantIsAFaultThatNamesIt) {
#if defined(QUORVEL_CHECKS)
    const Result<int> failed = EngineError{"no column"};
    try {
        (void)failed.value();
        ADD_FAILURE() << "no fault";
    } catch (const std::logic_error& fault) {
        EXPECT_NE(std::string(fault.what()).find("broken invariant ok()"), std::string::npos) << fault.what();
    }
    const Result<int> made = 7;
    EXPECT_EQ(made.value(), 7);
    EXPECT_THROW((void)made.error(), std::logic_error);
#else
    GTEST_SKIP() << "invariant checks are off in this build";
#endif
}

}  // namespace
}  // namespace quorvel::engine
