// The main of the test programs whose tests may skip: a run with skips exits with the code that
// ctest shows as skipped.
#include <gtest/gtest.h>

#include "tests/support/skip.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return testing_support::ExitCode(RUN_ALL_TESTS());
}
