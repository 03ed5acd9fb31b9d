// Shared main of the test programs.
#include <gtest/gtest.h>

#include "tests/support/crash.h"

int main(int argc, char** argv) {
  testsupport::FailOnCrash();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
