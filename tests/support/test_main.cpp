// The test programs' main: VANTREL_TEST_CLOCK stops the host's clock for the whole run, so the
// suite can be run as on a chosen day ("2028-02-29", "2026-11-30 23:59:59").
#include "corlith/corlith_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* clock = std::getenv("VANTREL_TEST_CLOCK"); clock && !corlith::test::SetClock(clock)) {
        std::fprintf(stderr, "VANTREL_TEST_CLOCK is not \"yyyy-MM-dd[ hh:mm:ss]\": %s\n", clock);
        return 2;
    }
    return RUN_ALL_TESTS();
}
