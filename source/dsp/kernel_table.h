// The inner loops of the natural and linear modes, built once per
// instruction set (SSE2, the x86-64 baseline; AVX2 with FMA; AVX-512) and
// chosen once, when the module loads, from the features of the CPU it runs
// on. The bundle therefore runs on any x86-64 machine and uses the wide
// units where they exist. The choice is a table of function pointers rather
// than an ifunc, so ThreadSanitizer builds (which cannot run ifunc resolvers)
// take the same path as every other build.
//
// Each set lives in its own translation unit (vector/kernels_*.cpp) compiled
// with that set's flags, and everything it compiles sits in a namespace of its
// own: an inline function shared between two of them could otherwise be kept
// by the linker in its AVX form and reach a CPU without AVX. So those units
// include only plain data headers besides their kernel templates.
//
// SSE2 rounds exactly like the per-sample reference chain (bit-identical
// results); the FMA sets round once where the reference rounds twice, so they
// agree with it to rounding.
#pragma once

#include "eq_band.h"

#include <cstdint>

namespace QuenrilEQ {

enum class InstructionSet : std::int32_t
{
	kSse2 = 0,
	kAvx2 = 1,    // with FMA
	kAvx512 = 2,  // foundation set, with FMA
};
constexpr InstructionSet kInstructionSets[] = {InstructionSet::kSse2, InstructionSet::kAvx2, InstructionSet::kAvx512};

/** Most sections one channel's chain may have in one cascade call. */
constexpr int kMaxCascadeSections = 32;

/** switchingCascade takes control steps this many frames apart (or more) on every instruction set. */
constexpr int kSwitchingStepSpacing = 32;

/**
 * Most control steps one switchingCascade call takes: it makes every step's coefficients up front
 * (on the stack, a kilobyte or so each). A chunk of the block path holds at most 12 at 44.1 kHz
 * and above (a step every millisecond), so it takes one call.
 */
constexpr int kMaxSwitchingSteps = 12;

/** The sections one channel runs through, in order; the kernels read coefficients and carry the states. */
struct SectionChain
{
	BiquadSection* const* sections = nullptr;
	int count = 0;  // 0 .. kMaxCascadeSections
};

/**
 * A dynamic band's designs at the control steps of a switching cascade. The band's sections are
 * those in sets[0] and sets[1] (its two filter sets, kMaxSections each); at step k its section i
 * takes designs[k * kinds + i % kinds]. kinds 0: no section changes.
 */
struct SwitchingDesigns
{
	const BiquadSection* sets[2] = {nullptr, nullptr};
	int kinds = 0;
	const SectionDesign* designs = nullptr;
};

/** What the gain-bearing designs of a band depend on besides its gain. */
struct GainDesignSettings
{
	std::int32_t shape = kBell;  // kBell, kLowShelf, kHighShelf or kTiltShelf
	double exponentPerDb = 0;    // ln A of a section (the tilt's high shelf) per dB of the band's gain
	double cs = 1, alpha = 0;    // the cookbook angle: cos w, sin w / (2 q)
};

/** A dynamic band's detector: band-pass coefficients and envelope smoothing. */
struct DetectorSettings
{
	double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
	double attackCoef = 0, releaseCoef = 0;  // per-sample envelope factors
	std::int32_t controlInterval = 1;        // samples between control steps, >= 1
};

/** The detector's running values. */
struct DetectorState
{
	double s1 = 0, s2 = 0;
	double envelope = -120.0;  // dB
	std::int32_t counter = 0;  // samples since the last control step
};

/**
 * |c0 + c1 z^-1 + c2 z^-2|^2 on the unit circle, from z (c0 + c1 z^-1 + c2 z^-2) = (c0 + c2) cos w +
 * c1 + j (c0 - c2) sin w. The real part is taken relative to its value at DC (c0 + c1 + c2) or at
 * Nyquist (c1 - c0 - c2), whichever is nearer: a shelf or cut whose corner is close to either end
 * has a tiny value there, and the direct sum would lose most of its digits to cancellation.
 */
struct SquaredPolynomial  // by default the constant 1 (c0 = 1, c1 = c2 = 0)
{
	double p = 1, r = 1;               // c0 + c2, c0 - c2
	double atDc = 1, atNyquist = -1;  // c0 + c1 + c2, c1 - c0 - c2
};

/** One band's squared magnitude as the response grid forms it (band_response.h). */
struct SquaredMagnitudeTerm
{
	enum Kind : std::int32_t
	{
		kSections,            // (num[0] / den[0], times num[1] / den[1] for a pair) raised to `power`
		kFirstOrderLowPass,   // scale (1 + cos w) / (a0 + a1 (1 - cos w))
		kFirstOrderHighPass,  // scale (1 - cos w) / (a0 + a1 (1 - cos w))
	};
	std::int32_t kind = kSections;
	std::int32_t power = 1;     // identical sections: 1, 2, 4 or 8
	std::int32_t sections = 1;  // 1, or 2 for a pair
	SquaredPolynomial num[2], den[2];
	double scale = 1, a0 = 1, a1 = 0;
};

struct KernelTable
{
	InstructionSet set;

	/**
	 * Left and right chains over interleaved (left, right) frames in place, as one wavefront. The
	 * chains may differ in length: the shorter one is padded with pass-through sections.
	 */
	void (*stereoCascade) (SectionChain left, SectionChain right, double* interleaved, int frames) noexcept;

	/**
	 * One chain over n samples in place, several sections per register; sample i at
	 * samples[i * stride] (stride 2: one channel of interleaved frames).
	 */
	void (*monoCascade) (SectionChain chain, double* samples, int n, int stride) noexcept;

	/**
	 * Chains holding a dynamic band's sections (channels: 2, interleaved frames; or 1, samples
	 * `stride` apart) over n frames in place, the band's sections taking the designs of step k
	 * from frame at[k] on; the other sections keep theirs, and every section's coefficients are
	 * left as they were (the caller gives the band its last design). Returns false and does
	 * nothing when it cannot take the steps (more than kMaxSwitchingSteps in the call, or closer
	 * together than a wavefront group is long: up to 32 frames) or a chain is longer than
	 * kMaxSections.
	 */
	bool (*switchingCascade) (const SectionChain* chains, int channels, double* data, int n, int stride,
	                          const int* at, int count, const SwitchingDesigns& designs) noexcept;

	/**
	 * designGainSteps for count finite gains in vectors (band_design.h: kinds designs per gain at
	 * out[k * kinds]); null on SSE2, whose designs must be the scalar ones.
	 */
	void (*gainDesigns) (const GainDesignSettings& settings, const double* gainsDb, int count,
	                     SectionDesign* out) noexcept;

	/**
	 * Detector band-pass, level in dB (floor -120 dB) and envelope over input[0, n), counting
	 * control steps. For the k-th control step writes its sample index to stepAt[k] and the
	 * envelope after that sample to envelopeAt[k] (both sized n); returns the number of steps.
	 */
	int (*detectorPass) (const DetectorSettings& settings, DetectorState& state, const double* input, int n,
	                     int* stepAt, double* envelopeAt) noexcept;

	/**
	 * The convolver's spectral sum: acc = sum over p < partitions of ring[newestSlot - p (mod
	 * ringSize)] * kernel[p], complex, `bins` (a multiple of 8) each, in the convolver's chunked
	 * layout (acc split).
	 * ahead, when not null, also gets the sum of ring[newestSlot - p] * kernel[p + 1] over
	 * p < partitions - 1: the part of the next block's sum the inputs so far already decide.
	 */
	void (*spectralSum) (double* acc, double* ahead, const double* ring, int newestSlot, int ringSize,
	                     const double* kernel, int partitions, int bins) noexcept;

	/** frames[2 i] = left[i] and frames[2 i + 1] = right[i] for i < n. */
	void (*interleave) (const double* left, const double* right, double* frames, int n) noexcept;

	/** left[i] = frames[2 i] and right[i] = frames[2 i + 1] for i < n. */
	void (*deinterleave) (const double* frames, double* left, double* right, int n) noexcept;

	/** out[i] = (frames[2 i] + frames[2 i + 1]) * 0.5, or with - when difference, for i < n. */
	void (*halfSumOrDifference) (const double* frames, double* out, int n, bool difference) noexcept;

	/**
	 * out[k] = the product over count terms, in order from 1, of each term's squared magnitude at
	 * the angle with cosine cosW[k] and sine sinW[k], for k < bins. SSE2 gives the bits of the
	 * scalar form; the fused sets may round a product and a sum once instead of twice.
	 */
	void (*squaredMagnitudes) (const SquaredMagnitudeTerm* terms, int count, const double* cosW, const double* sinW,
	                           int bins, double* out) noexcept;
};

/** The kernels in use. [any thread] Lock-free. */
const KernelTable& activeKernels () noexcept;

/** True when this CPU (and its operating system) can run the set. */
bool isSupported (InstructionSet set) noexcept;

/** "sse2", "avx2" or "avx512". */
const char* instructionSetName (InstructionSet set) noexcept;

/** The widest supported set: the one chosen at load. */
InstructionSet bestInstructionSet () noexcept;

/**
 * Test and benchmark hook: makes every later kernel call use `set`, so a path the CPU would not
 * pick is still exercised. Returns false (and changes nothing) when the CPU cannot run it. Not for
 * the plug-in itself, which keeps the choice made at load.
 */
bool useInstructionSet (InstructionSet set) noexcept;

} // namespace QuenrilEQ
