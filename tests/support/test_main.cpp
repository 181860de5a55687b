// The test programs' main: VANTREL_TEST_CLOCK stops the host's clock for the whole run, so the
// suite can be run as on a chosen day ("2028-02-29", "2026-11-30 23:59:59"). The user's
// settings (the windows keep some) go to a folder of the run's own, never to the home folder.
#include "corlith/corlith_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* clock = std::getenv("VANTREL_TEST_CLOCK"); clock && !corlith::test::SetClock(clock)) {
        std::fprintf(stderr, "VANTREL_TEST_CLOCK is not \"yyyy-MM-dd[ hh:mm:ss]\": %s\n", clock);
        return 2;
    }
    std::string config = (std::filesystem::temp_directory_path() / "vantrel-config-XXXXXX").string();
    if (!mkdtemp(config.data())) {
        std::perror("mkdtemp");
        return 2;
    }
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);
    return result;
}
