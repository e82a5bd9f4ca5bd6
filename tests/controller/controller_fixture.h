// The usual controller test: a controller in a HOME of its own. The whole run
// gets a HOME of its own as well, so that nothing a test forgets to redirect
// reaches the real documents folder of the user running the tests.
#pragma once

#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace QuenrilEQ::testing {

struct ControllerTest : ::testing::Test
{
	TempHome home;
	HostedController h;
};

struct SafeHomeEnvironment : ::testing::Environment
{
	void SetUp () override { home = std::make_unique<TempHome> (); }
	void TearDown () override { home.reset (); }
	std::unique_ptr<TempHome> home;
};
// Inline: registered once however many test files include this.
inline ::testing::Environment* const safeHome = ::testing::AddGlobalTestEnvironment (new SafeHomeEnvironment);

} // namespace QuenrilEQ::testing
