// The end-to-end tests refuse to run, with the reason, when Wine or the Windows programs are
// not there; listing the tests needs neither. A run with skips exits with the code that ctest
// shows as skipped.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/e2e/support/wine.h"
#include "tests/support/skip.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) {
        const std::string problem = e2e::wineSetupProblem();
        if (!problem.empty()) {
            std::cerr << "komvas_e2e_tests: " << problem << "\n";
            return 1;
        }
    }
    return testing_support::ExitCode(RUN_ALL_TESTS());
}
