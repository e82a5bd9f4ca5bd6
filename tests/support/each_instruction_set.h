// Runs a test once per instruction set the kernels are built for (SSE2,
// AVX2, AVX-512), forcing the choice through the test hook, so a path this
// CPU would not pick is still checked. Sets the CPU cannot run are skipped.
#pragma once

#include "kernel_table.h"

#include <gtest/gtest.h>

#include <cmath>

namespace QuenrilEQ::testing {

class EachInstructionSet : public ::testing::TestWithParam<InstructionSet>
{
protected:
	void SetUp () override
	{
		if (!useInstructionSet (GetParam ()))
			GTEST_SKIP () << instructionSetName (GetParam ()) << " is not available on this CPU";
	}
	void TearDown () override { useInstructionSet (bestInstructionSet ()); }

	/** SSE2 rounds exactly like the reference; the FMA sets round once where it rounds twice. */
	static bool exact () { return GetParam () == InstructionSet::kSse2; }
};

/** Agreement with the reference: equal on SSE2, else within 1e-12 relative or `floor` absolute. */
inline ::testing::AssertionResult agrees (double reference, double fast, bool exact, double floor)
{
	const double tolerance = exact ? 0.0 : std::max (1e-12 * std::fabs (reference), floor);
	if (reference == fast || std::fabs (reference - fast) <= tolerance)
		return ::testing::AssertionSuccess ();
	return ::testing::AssertionFailure () << "reference " << reference << ", fast " << fast << ", tolerance "
	                                      << tolerance;
}

#define QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET(suite)                                                     \
	INSTANTIATE_TEST_SUITE_P (, suite, ::testing::ValuesIn (kInstructionSets),                                \
	                          [] (const ::testing::TestParamInfo<InstructionSet>& info) {                       \
		                          return std::string (instructionSetName (info.param));                       \
	                          })

} // namespace QuenrilEQ::testing
