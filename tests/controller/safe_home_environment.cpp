// Every test run gets its own HOME, so nothing a test forgets to redirect can
// reach the real documents folder of the user running the tests.
#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
struct SafeHomeEnvironment : ::testing::Environment
{
	void SetUp () override { home = std::make_unique<QuenrilEQ::testing::TempHome> (); }
	void TearDown () override { home.reset (); }
	std::unique_ptr<QuenrilEQ::testing::TempHome> home;
};
::testing::Environment* const registered = ::testing::AddGlobalTestEnvironment (new SafeHomeEnvironment);
} // namespace
