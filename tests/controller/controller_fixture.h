// The usual controller test: a controller in a HOME of its own.
#pragma once

#include "controller_test_support.h"

#include <gtest/gtest.h>

namespace QuenrilEQ::testing {

struct ControllerTest : ::testing::Test
{
	TempHome home;
	HostedController h;
};

} // namespace QuenrilEQ::testing
