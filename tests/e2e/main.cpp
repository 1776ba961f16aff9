// The end-to-end tests refuse to run, with the reason, when Wine or the Windows programs are
// not there; listing the tests needs neither.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/e2e/support/wine.h"

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
    return RUN_ALL_TESTS();
}
