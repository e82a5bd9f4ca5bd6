// The processor's state stream: exact bytes of a fresh instance, both stream
// versions, damaged streams, and bit-exact round trips between instances.
#include "parameters.h"
#include "processor.h"

#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace Steinberg;
using namespace QuenrilEQ;

namespace {

struct ProcessorHandle
{
	ProcessorHandle () : processor (new QuenrilEQProcessor ())
	{
		EXPECT_EQ (processor->initialize (nullptr), kResultOk);
	}
	~ProcessorHandle ()
	{
		processor->terminate ();
		processor->release ();
	}
	QuenrilEQProcessor* operator-> () { return processor; }
	QuenrilEQProcessor* processor;
};

std::vector<unsigned char> bytesOf (MemoryStream& stream)
{
	return std::vector<unsigned char> (stream.getData (), stream.getData () + stream.getSize ());
}

std::vector<unsigned char> stateOf (ProcessorHandle& p)
{
	MemoryStream stream;
	EXPECT_EQ (p->getState (&stream), kResultOk);
	return bytesOf (stream);
}

void putInt (std::vector<unsigned char>& out, std::int32_t v)
{
	for (int i = 0; i < 4; ++i)
		out.push_back (static_cast<unsigned char> ((static_cast<std::uint32_t> (v) >> (8 * i)) & 0xFF));
}

void putFloat (std::vector<unsigned char>& out, float f)
{
	std::uint32_t bits;
	std::memcpy (&bits, &f, 4);
	putInt (out, static_cast<std::int32_t> (bits));
}

float floatAt (const std::vector<unsigned char>& bytes, size_t offset)
{
	std::uint32_t bits = 0;
	for (int i = 0; i < 4; ++i)
		bits |= static_cast<std::uint32_t> (bytes[offset + i]) << (8 * i);
	float f;
	std::memcpy (&f, &bits, 4);
	return f;
}

// Stream offset of a band field in a version 2 stream, independent of the code under test.
size_t v2Offset (int band, int field) { return 16 + 52 * band + 4 * field; }

void load (ProcessorHandle& p, const std::vector<unsigned char>& bytes)
{
	MemoryStream stream;
	int32 written = 0;
	stream.write (const_cast<unsigned char*> (bytes.data ()), static_cast<int32> (bytes.size ()), &written);
	stream.seek (0, IBStream::kIBSeekSet, nullptr);
	EXPECT_EQ (p->setState (&stream), kResultOk);
}

/** A version 2 stream whose every value is distinct: global g, band field v. */
std::vector<unsigned char> distinctV2 (float base)
{
	std::vector<unsigned char> s;
	putInt (s, 0x51455131);
	putInt (s, 2);
	putFloat (s, base + 0.001f);
	putFloat (s, base + 0.002f);
	for (int i = 0; i < 24; ++i)
		for (int k = 0; k < 13; ++k)
			putFloat (s, base + 0.0001f * static_cast<float> (13 * i + k + 3));
	return s;
}

} // namespace

TEST (ProcessorState, FreshInstanceWritesDefaultStream)
{
	ProcessorHandle p;
	const auto bytes = stateOf (p);
	ASSERT_EQ (bytes.size (), 1264u);
	EXPECT_EQ (std::vector<unsigned char> (bytes.begin (), bytes.begin () + 4),
	           (std::vector<unsigned char> {0x31, 0x51, 0x45, 0x51}));
	EXPECT_EQ (bytes[4], 2);
	EXPECT_EQ (floatAt (bytes, 8), 0.0f);
	EXPECT_EQ (floatAt (bytes, 12), 0.0f);
	const float expected[13] = {0.0f, 0.0f, static_cast<float> (0.558615798817058), 0.5f,
	                            static_cast<float> (0.4530040738117794), 0.0f, 0.0f, 0.0f, 0.7f,
	                            static_cast<float> (1.0 / 19.0), static_cast<float> (0.3705117131325855),
	                            static_cast<float> (0.5111151359486344), 0.0f};
	for (int i = 0; i < 24; ++i)
		for (int k = 0; k < 13; ++k)
			EXPECT_EQ (floatAt (bytes, v2Offset (i, k)), expected[k]) << "band " << i << " field " << k;
}

TEST (ProcessorState, RoundTripIsBitExactAcrossInstances)
{
	std::mt19937 rng (7);
	std::uniform_real_distribution<float> dist (-0.5f, 1.5f);  // out-of-range values are kept as sent
	std::vector<unsigned char> s;
	putInt (s, 0x51455131);
	putInt (s, 2);
	for (int i = 0; i < 314; ++i)
		putFloat (s, dist (rng));

	ProcessorHandle a;
	load (a, s);
	const auto fromA = stateOf (a);
	EXPECT_EQ (fromA, s);

	ProcessorHandle b;
	load (b, fromA);
	EXPECT_EQ (stateOf (b), s);
}

TEST (ProcessorState, Version1RestoresFilterFieldsAndKeepsDynamics)
{
	ProcessorHandle p;
	const auto v2 = distinctV2 (0.2f);
	load (p, v2);

	std::vector<unsigned char> v1;
	putInt (v1, 0x51455131);
	putInt (v1, 1);
	putFloat (v1, 1.0f);
	putFloat (v1, 0.5f);
	for (int i = 0; i < 24; ++i)
		for (int k = 0; k < 7; ++k)
			putFloat (v1, 0.9f - 0.001f * static_cast<float> (7 * i + k));
	ASSERT_EQ (v1.size (), 688u);
	load (p, v1);

	const auto out = stateOf (p);
	EXPECT_EQ (floatAt (out, 8), 1.0f);
	EXPECT_EQ (floatAt (out, 12), 0.5f);
	for (int i = 0; i < 24; ++i)
	{
		for (int k = 0; k < 7; ++k)
			EXPECT_EQ (floatAt (out, v2Offset (i, k)), 0.9f - 0.001f * static_cast<float> (7 * i + k));
		for (int k = 7; k < 13; ++k)
			EXPECT_EQ (floatAt (out, v2Offset (i, k)), floatAt (v2, v2Offset (i, k)));
	}
}

TEST (ProcessorState, TruncatedStreamAppliesWhatWasRead)
{
	ProcessorHandle p;
	const auto before = distinctV2 (0.1f);
	load (p, before);

	auto cut = distinctV2 (0.6f);
	cut.resize (v2Offset (9, 3) + 4 + 2);  // through band 10's Gain, plus half a float
	load (p, cut);

	const auto after = stateOf (p);
	const auto full = distinctV2 (0.6f);
	for (size_t offset = 8; offset < 1264; offset += 4)
	{
		const bool applied = offset <= v2Offset (9, 3);
		EXPECT_EQ (floatAt (after, offset), floatAt (applied ? full : before, offset)) << "offset " << offset;
	}
}

TEST (ProcessorState, BadHeadersChangeNothing)
{
	ProcessorHandle p;
	const auto original = distinctV2 (0.3f);
	load (p, original);

	auto wrongMagic = distinctV2 (0.8f);
	wrongMagic[0] = 0x32;
	load (p, wrongMagic);
	EXPECT_EQ (stateOf (p), original);

	load (p, std::vector<unsigned char> {0x31, 0x51, 0x45, 0x51, 2, 0});  // version cut short
	EXPECT_EQ (stateOf (p), original);

	load (p, {});
	EXPECT_EQ (stateOf (p), original);
	EXPECT_EQ (p->setState (nullptr), kResultOk);
	EXPECT_EQ (stateOf (p), original);
}

TEST (ProcessorState, LaterVersionsReadWithTheCurrentLayout)
{
	ProcessorHandle p;
	auto v7 = distinctV2 (0.4f);
	v7[4] = 7;
	load (p, v7);
	auto expected = v7;
	expected[4] = 2;
	EXPECT_EQ (stateOf (p), expected);
}

TEST (ProcessorState, PhaseModeAndLatencyFollowTheRestoredValues)
{
	ProcessorHandle p;
	auto s = distinctV2 (0.0f);
	const float linear = 1.0f, max = 1.0f;
	std::memcpy (&s[8], &linear, 4);
	std::memcpy (&s[12], &max, 4);
	load (p, s);
	EXPECT_EQ (p->getLatencySamples (), 16384u / 2 + 128);

	const float low = 0.0f, natural = 0.2f;
	std::memcpy (&s[12], &low, 4);
	load (p, s);
	EXPECT_EQ (p->getLatencySamples (), 2048u / 2 + 128);
	std::memcpy (&s[8], &natural, 4);
	load (p, s);
	EXPECT_EQ (p->getLatencySamples (), 0u);
}
