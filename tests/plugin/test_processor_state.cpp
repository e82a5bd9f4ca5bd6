// The processor's state stream ('QEQ1'): the bytes of a fresh instance, both
// stream versions, damaged streams, and bit-exact round trips.
#include "processor_rig.h"

#include "../controller/controller_test_support.h"
#include "parameters.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace QuenrilEQ;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::ProcessorRig;

namespace {

constexpr std::int32_t kMagic = 0x51455131;

float floatAt (const std::vector<char>& bytes, size_t offset)
{
	float f;
	std::memcpy (&f, bytes.data () + offset, 4);
	return f;
}

/** Offset of a band field in a version 2 stream, worked out here. */
size_t v2Offset (int band, int field) { return 16 + 52 * band + 4 * field; }

/** A version 2 stream whose every value is distinct. */
std::vector<char> distinctV2 (float base)
{
	Bytes s;
	s.i32 (kMagic).i32 (2);
	for (int i = 0; i < 314; ++i)
		s.f32 (base + 0.0001f * static_cast<float> (i + 1));
	return s.data;
}

void load (ProcessorRig& rig, const std::vector<char>& bytes)
{
	EXPECT_EQ (rig.processor->setState (QuenrilEQ::testing::streamOf (bytes)), Steinberg::kResultOk);
}

} // namespace

TEST (ProcessorState, FreshInstanceWritesTheDefaultsAndRoundTripsBitExact)
{
	ProcessorRig rig;
	const auto fresh = rig.state ();
	ASSERT_EQ (fresh.size (), 1264u);
	EXPECT_EQ (std::string (fresh.data (), 5), std::string ("1QEQ\2", 5));
	EXPECT_EQ (floatAt (fresh, 8) + floatAt (fresh, 12), 0.0f);
	const float defaults[13] = {0, 0, float (0.558615798817058), 0.5f, float (0.4530040738117794), 0, 0, 0, 0.7f,
	                            float (1.0 / 19.0), float (0.3705117131325855), float (0.5111151359486344), 0};
	for (int i = 0; i < 24; ++i)
		for (int k = 0; k < 13; ++k)
			EXPECT_EQ (floatAt (fresh, v2Offset (i, k)), defaults[k]) << "band " << i << " field " << k;

	// Values below the range are kept as sent; another instance writes the same bytes back.
	const auto sent = distinctV2 (-0.02f);
	load (rig, sent);
	ProcessorRig other;
	load (other, rig.state ());
	EXPECT_EQ (other.state (), sent);
}

TEST (ProcessorState, OlderShorterBrokenAndNewerStreams)
{
	ProcessorRig rig;
	const auto before = distinctV2 (0.2f);
	load (rig, before);

	// Version 1: seven fields per band; the dynamics fields keep their values.
	Bytes v1;
	v1.i32 (kMagic).i32 (1).f32 (1.0f).f32 (0.5f);
	for (int i = 0; i < 24 * 7; ++i)
		v1.f32 (0.9f - 0.001f * static_cast<float> (i));
	load (rig, v1.data);
	auto out = rig.state ();
	EXPECT_EQ (floatAt (out, 8), 1.0f);
	for (int i = 0; i < 24; ++i)
		for (int k = 0; k < 13; ++k)
			EXPECT_EQ (floatAt (out, v2Offset (i, k)), k < 7 ? 0.9f - 0.001f * static_cast<float> (7 * i + k) : floatAt (before, v2Offset (i, k)));

	// Cut after band 10's Gain plus half a float: what was read applies.
	load (rig, before);
	auto cut = distinctV2 (0.6f);
	const auto full = cut;
	cut.resize (v2Offset (9, 3) + 4 + 2);
	load (rig, cut);
	out = rig.state ();
	for (size_t offset = 8; offset < 1264; offset += 4)
		EXPECT_EQ (floatAt (out, offset), floatAt (offset <= v2Offset (9, 3) ? full : before, offset)) << offset;

	// Bad headers change nothing; a later version is read with the current layout.
	load (rig, before);
	auto wrongMagic = full;
	wrongMagic[0] = 0x32;
	for (const auto& bad : {wrongMagic, std::vector<char> {0x31, 0x51, 0x45, 0x51, 2, 0}, std::vector<char> {}})
		load (rig, bad);
	EXPECT_EQ (rig.processor->setState (nullptr), Steinberg::kResultOk);
	EXPECT_EQ (rig.state (), before);
	auto v7 = full;
	v7[4] = 7;
	load (rig, v7);
	EXPECT_EQ (rig.state (), full);

	// The phase mode and kernel length restored set the latency reported.
	load (rig, Bytes ().i32 (kMagic).i32 (2).f32 (1.0f).f32 (0.0f).data);
	EXPECT_EQ (rig.processor->getLatencySamples (), 1152u);
	load (rig, Bytes ().i32 (kMagic).i32 (2).f32 (0.2f).f32 (1.0f).data);
	EXPECT_EQ (rig.processor->getLatencySamples (), 0u);
}
