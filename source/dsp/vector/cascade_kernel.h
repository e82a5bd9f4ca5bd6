// Cascades of transposed direct form II sections over a buffer in place, as
// a wavefront: at step t each section works on a sample a fixed number of
// steps back, the later sections further back, so the recurrences in flight
// are independent and overlap in the pipeline instead of each waiting for
// the one before it.
//
// A register holds several sections: Isa::kWidth / kChannels slots, each
// with one lane per channel (stereo: left and right of one section; mono:
// one section per lane), spread so that each register feeds the next lane
// for lane (Layout). Each step every section takes the previous section's
// output of the last step; the first register of a group takes the newest
// sample and the last register's outputs shifted by one slot (Isa::shiftIn),
// in small groups those of a few steps before (extraLag).
// Chains shorter than a whole number of registers, and the shorter channel
// of a stereo pair, are padded with pass-through sections (b0 = 1), which
// return their input unchanged.
//
// Templates over an instruction-set description (vector/isa_*.h); each
// kernels_*.cpp instantiates them in its own namespace.
#pragma once

#include "../kernel_table.h"

namespace QuenrilEQ::kernels {

/**
 * One section step; the SSE2 form rounds exactly like processBandSample. kFolded (fused sets only):
 * c holds b0, b1 - a1 b0, b2 - a2 b0, a1, a2 (foldCoefficients), y is substituted into the state
 * updates, and the second state is kept unformed: it is s2 - a2 s1Before (formedState), its a2 s1
 * term taken one step later, beside that step's a1 s1 term. The first state then waits one
 * multiply-add per step on itself; a formed second state put three in its way every two steps.
 */
template <class Isa, bool kFolded = false>
inline typename Isa::V sectionTick (const typename Isa::V* c, typename Isa::V& s1, typename Isa::V& s2,
                                    [[maybe_unused]] typename Isa::V& s1Before, typename Isa::V x) noexcept
{
	// c: b0, b1, b2, a1, a2
	if constexpr (kFolded)
	{
		const auto y = Isa::mulAdd (c[0], x, s1);
		const auto rest = Isa::negMulAdd (c[4], s1Before, Isa::mulAdd (c[1], x, s2));  // formed s2 + c1 x
		s1Before = s1;
		s1 = Isa::negMulAdd (c[3], s1, rest);
		s2 = Isa::mul (c[2], x);
		return y;
	}
	else if constexpr (Isa::kFused)
	{
		const auto y = Isa::mulAdd (c[0], x, s1);
		s1 = Isa::negMulAdd (c[3], y, Isa::mulAdd (c[1], x, s2));
		s2 = Isa::negMulAdd (c[4], y, Isa::mul (c[2], x));
		return y;
	}
	else
	{
		const auto y = Isa::add (Isa::mul (c[0], x), s1);
		s1 = Isa::add (Isa::sub (Isa::mul (c[1], x), Isa::mul (c[3], y)), s2);
		s2 = Isa::sub (Isa::mul (c[2], x), Isa::mul (c[4], y));
		return y;
	}
}

/** The second state of sectionTick's folded form, formed (s1Before then holds no part of it: zero). */
template <class Isa>
inline typename Isa::V formedState (const typename Isa::V* c, typename Isa::V s2, typename Isa::V s1Before) noexcept
{
	return Isa::negMulAdd (c[4], s1Before, s2);
}

/** b1 and b2 with the feedback of b0 x taken in: the coefficients of sectionTick's folded form. */
template <class Isa>
inline void foldCoefficients (typename Isa::V* c) noexcept
{
	c[1] = Isa::negMulAdd (c[3], c[0], c[1]);
	c[2] = Isa::negMulAdd (c[4], c[0], c[2]);
}

template <class Isa, int kChannels>
struct Cascade
{
	using V = typename Isa::V;
	static constexpr int kWidth = Isa::kWidth;
	static constexpr int kSlots = kWidth / kChannels;  // sections per register
	static constexpr int kMaxRegisters = kMaxCascadeSections;
	// Most registers per wavefront group: enough independent recurrences to hide the latency of one,
	// few enough to stay in the register file.
	static constexpr int kGroup = 4;

	static constexpr int kMaxBandRegisters = (kMaxSections + kSlots - 1) / kSlots;

	/**
	 * Extra steps a group of K registers waits before its first register takes the last one's
	 * outputs. The processor tracks a register as one value, so the first register waits on all of
	 * the last one: its registers form a cycle, each section's state update on the way. In groups of
	 * one or two registers that cycle, not the ports, sets the pace of a step; the extra steps give
	 * it more steps to close in, for as many more ramp steps at each end of a call. Eight slots of
	 * two registers (AVX-512, one channel) take one step less: with three their wavefront would
	 * outgrow kSwitchingStepSpacing.
	 */
	static constexpr int extraLag (int K) noexcept { return K == 1 ? 3 : K == 2 ? (kSlots <= 4 ? 3 : 2) : 0; }
	/** Steps from the group's first slot taking a frame to its last slot giving it out, plus one. */
	static constexpr int wavefrontLength (int K) noexcept { return (kSlots - 1) * (K + extraLag (K)) + K; }
	/** The longest wavefront of a call on the given number of registers: runSwitching's least step spacing. */
	static constexpr int longestWavefront (int registers) noexcept
	{
		int longest = 0;
		for (int K = 1; K <= registers && K <= kGroup; ++K)
			longest = wavefrontLength (K) > longest ? wavefrontLength (K) : longest;
		return longest;
	}
	static_assert (longestWavefront (kGroup) <= kSwitchingStepSpacing, "steps kSwitchingStepSpacing apart must switch");

	/** One register's worth of sections: coefficients and states. */
	struct Stage
	{
		V c[5];
		V s1, s2;
	};

	struct Coefficients
	{
		V c[5];
	};

	/** Coefficient changes: from frame at[k] on, register r takes sets[k * kMaxBandRegisters + r]. */
	struct Switches
	{
		const int* at = nullptr;
		int count = 0;
		const Coefficients* sets = nullptr;
	};

	/**
	 * The registers in near-equal groups of at most kGroup: a lone short group would wait on its
	 * latency. Groups of one size that follow each other run as one wavefront (runGroup) when no
	 * coefficients switch and the call is longer than the wavefront.
	 */
	static void runGroups (Stage* stages, int registers, double* data, int n, int stride, const Switches& switches) noexcept
	{
		const int groups = (registers + kGroup - 1) / kGroup;
		for (int g = 0, first = 0; g < groups;)
		{
			const int size = (registers - first) / (groups - g);
			int chained = 1;
			if (switches.count == 0 && n >= wavefrontLength (size))
				while (g + chained < groups && (registers - first - chained * size) / (groups - g - chained) == size)
					++chained;
			static_assert (kGroup <= 4, "a group size without a case below would be skipped");
			switch (size)
			{
				case 4: runGroup<4> (stages, first, chained, data, n, stride, switches); break;
				case 3: runGroup<3> (stages, first, chained, data, n, stride, switches); break;
				case 2: runGroup<2> (stages, first, chained, data, n, stride, switches); break;
				default: runGroup<1> (stages, first, chained, data, n, stride, switches); break;
			}
			g += chained;
			first += chained * size;
		}
	}

	/** stride: doubles from one frame to the next (kChannels for packed frames). */
	static void run (const SectionChain* chains, double* data, int n, int stride) noexcept
	{
		if (n <= 0)
			return;
		int longest = 0;
		for (int ch = 0; ch < kChannels; ++ch)
			longest = chains[ch].count > longest ? chains[ch].count : longest;
		if (longest <= 0 || longest > kMaxCascadeSections)
			return;  // nothing to do, or outside the contract: leave the audio alone
		const int registers = (longest + kSlots - 1) / kSlots;
		const Layout layout (registers);
		Stage stages[kMaxRegisters];
		pack (chains, layout, stages, registers);
		runGroups (stages, registers, data, n, stride, Switches {});
		unpack (chains, layout, stages, registers);
	}

	/**
	 * run for chains whose dynamic band's sections change design at control steps (SwitchingDesigns)
	 * for frames at[k] on (k ascending). Every step's coefficient registers are made first, from
	 * the packed ones with the band's lanes replaced; inside the wavefront each section takes the
	 * new coefficients when it reaches frame at[k], so nothing is repacked or ramped down and up
	 * again. Returns false, having done nothing, when the chains are longer than a band's or the
	 * steps are more than kMaxSwitchingSteps or closer together than a wavefront group is long.
	 */
	static bool runSwitching (const SectionChain* chains, double* data, int n, int stride, const int* at, int count,
	                          const SwitchingDesigns& designs) noexcept
	{
		int longest = 0;
		for (int ch = 0; ch < kChannels; ++ch)
			longest = chains[ch].count > longest ? chains[ch].count : longest;
		if (n <= 0 || longest > kMaxSections || count > kMaxSwitchingSteps)
			return false;
		const int registers = (longest + kSlots - 1) / kSlots;
		const int groupLength = longestWavefront (registers);
		for (int k = 0; k < count; ++k)
			if (at[k] < 0 || at[k] >= n || (k > 0 && at[k] - at[k - 1] < groupLength))
				return false;
		const Layout layout (registers);
		Stage stages[kMaxBandRegisters];
		pack (chains, layout, stages, registers);
		Coefficients sets[kMaxSwitchingSteps][kMaxBandRegisters];
		for (int r = 0; r < registers; ++r)
		{
			// Lanes of each kind of the band's sections, as masks over the register.
			BiquadSection* lanes[kWidth];
			laneSections (chains, layout, r, lanes);
			typename Isa::Mask ofKind[2];
			for (int kind = 0; kind < designs.kinds && kind < 2; ++kind)
			{
				double member[kWidth];
				for (int lane = 0; lane < kWidth; ++lane)
					member[lane] = designKind (designs, lanes[lane]) == kind ? 1.0 : 0.0;
				ofKind[kind] = Isa::within (Isa::fromLanes (member), Isa::set1 (0.5), Isa::set1 (1.5));
			}
			for (int k = 0; k < count; ++k)
				for (int j = 0; j < 5; ++j)
				{
					V c = stages[r].c[j];
					for (int kind = 0; kind < designs.kinds && kind < 2; ++kind)
						c = Isa::select (ofKind[kind], Isa::set1 (designs.designs[k * designs.kinds + kind].*kDesignFields[j]), c);
					sets[k][r].c[j] = c;
				}
		}
		if (longest > 0)
			runGroups (stages, registers, data, n, stride, Switches {at, count, &sets[0][0]});
		unpack (chains, layout, stages, registers);
		return true;
	}

private:
	static constexpr double SectionDesign::*kDesignFields[5] = {&SectionDesign::b0, &SectionDesign::b1, &SectionDesign::b2,
	                                                            &SectionDesign::a1, &SectionDesign::a2};

	/** The design (i % kinds) the section takes, when it is one of the dynamic band's sections (i); -1 otherwise. */
	static int designKind (const SwitchingDesigns& designs, const BiquadSection* section) noexcept
	{
		// As addresses: the section need not be in either set.
		const auto at = reinterpret_cast<std::uintptr_t> (section);
		for (const BiquadSection* set : designs.sets)
		{
			const auto first = reinterpret_cast<std::uintptr_t> (set);
			if (set != nullptr && at >= first && at < first + kMaxSections * sizeof (BiquadSection))
				return designs.kinds > 0 ? static_cast<int> ((at - first) / sizeof (BiquadSection)) % designs.kinds : -1;
		}
		return -1;
	}

	/** Moves history (newest first) on by one entry: newest. */
	template <int kLength>
	static void shiftHistory (V (&history)[kLength], V newest) noexcept
	{
		for (int i = kLength - 1; i > 0; --i)
			history[i] = history[i - 1];
		history[0] = newest;
	}

	/**
	 * Which of the chain's sections each slot of each register holds. Registers form near-equal
	 * groups (runGroups); in a group of K registers from register f, slot k of register f + r holds
	 * the group's section k K + r. So each register takes the previous register's outputs lane for
	 * lane, and only the group's first register needs its input shifted across lanes
	 * (Isa::shiftIn), the costly operation of a step. Worked out once per call.
	 */
	struct Layout
	{
		int section[kMaxRegisters][kSlots];

		explicit Layout (int registers) noexcept
		{
			const int groups = (registers + kGroup - 1) / kGroup;
			for (int g = 0, first = 0; g < groups; ++g)
			{
				const int size = (registers - first) / (groups - g);
				for (int r = first; r < first + size; ++r)
					for (int slot = 0; slot < kSlots; ++slot)
						section[r][slot] = first * kSlots + slot * size + (r - first);
				first += size;
			}
		}
	};

	/** The slot a lane belongs to: slots count from the input's lanes to the output's (Isa::kOutputInLowLanes). */
	static constexpr int slotOf (int lane) noexcept
	{
		return Isa::kOutputInLowLanes ? kSlots - 1 - lane / kChannels : lane / kChannels;
	}

	/** The section in each lane of register r (a pass-through past the end of its chain). */
	static void laneSections (const SectionChain* chains, const Layout& layout, int r, BiquadSection** lanes) noexcept
	{
		static BiquadSection passThrough {1, 0, 0, 0, 0, 0, 0};
		for (int lane = 0; lane < kWidth; ++lane)
		{
			const int i = layout.section[r][slotOf (lane)];
			const SectionChain& chain = chains[lane % kChannels];
			lanes[lane] = i < chain.count ? chain.sections[i] : &passThrough;
		}
	}

	// Packing runs once per call, and the dynamics gather coefficients once per control step: lanes
	// are gathered with register moves (fromLanes) rather than stored as scalars and reloaded as
	// vectors, which would stall on store forwarding.
	static V gather (BiquadSection* const* lanes, double BiquadSection::*field) noexcept
	{
		double v[kWidth];
#pragma GCC unroll 8
		for (int lane = 0; lane < kWidth; ++lane)
			v[lane] = lanes[lane]->*field;
		return Isa::fromLanes (v);
	}

	static void pack (const SectionChain* chains, const Layout& layout, Stage* stages, int registers) noexcept
	{
		for (int r = 0; r < registers; ++r)
		{
			BiquadSection* lanes[kWidth];
			laneSections (chains, layout, r, lanes);
			Stage& st = stages[r];
			st.c[0] = gather (lanes, &BiquadSection::b0);
			st.c[1] = gather (lanes, &BiquadSection::b1);
			st.c[2] = gather (lanes, &BiquadSection::b2);
			st.c[3] = gather (lanes, &BiquadSection::a1);
			st.c[4] = gather (lanes, &BiquadSection::a2);
			st.s1 = gather (lanes, &BiquadSection::s1);
			st.s2 = gather (lanes, &BiquadSection::s2);
		}
	}

	static void unpack (const SectionChain* chains, const Layout& layout, const Stage* stages, int registers) noexcept
	{
		for (int r = 0; r < registers; ++r)
		{
			alignas (64) double s1[kWidth], s2[kWidth];
			Isa::store (s1, stages[r].s1);
			Isa::store (s2, stages[r].s2);
			for (int lane = 0; lane < kWidth; ++lane)
			{
				const int i = layout.section[r][slotOf (lane)];
				const SectionChain& chain = chains[lane % kChannels];
				if (i < chain.count)
				{
					chain.sections[i]->s1 = s1[lane];
					chain.sections[i]->s2 = s2[lane];
				}
			}
		}
	}

	/**
	 * Registers first .. first + K - 1 over frames [0, n) in place. Writing frame t - latency after
	 * reading frame t never overwrites a frame still to be read. With chained > 1 the next groups
	 * of K registers follow in the same wavefront: a slot that has passed frame n - 1 takes the
	 * same slot of the next group and starts again at frame 0, which the group before wrote
	 * latency steps earlier (n > latency). The wavefront then fills and drains once per call, not
	 * once per group.
	 *
	 * Calls longer than the wavefront fill and drain it slot by slot (window): a slot holds zero
	 * states, and so gives zeros, until it takes its section's states for its first frame, and
	 * gives them back after its last. Other calls, and calls with switches (chained == 1), run
	 * their first and last steps on every lane and keep the new states only of the lanes whose
	 * sample lies inside [0, n); from a switch at frame a on, each slot takes the new coefficients
	 * at the step where its sample reaches a.
	 */
	template <int K>
	static void runGroup (Stage* all, int first, int chained, double* data, int n, int stride,
	                      const Switches& switches) noexcept
	{
		// Slot k of register r works on the frame from position k (K + kExtra) + r steps ago.
		constexpr int kExtra = extraLag (K);
		constexpr int kSpacing = K + kExtra;
		constexpr int kLatency = wavefrontLength (K) - 1;
		// Groups of one or two registers wait on their recurrences rather than on the ports: there
		// the folded step's shorter dependency chain pays for the rounding it changes.
		constexpr bool kFolded = Isa::kFused && K <= 2;
		Stage* stages = all + first;
		// before: sectionTick's s1Before, zero where the folded form is not taken.
		V c[K][5], incoming[K][5], s1[K], s2[K], before[K], p[K], position[K];
		// The last register's outputs of the steps before, newest first: slots take kExtra + 1 steps old ones.
		constexpr int kOldest = kExtra > 0 ? kExtra - 1 : 0;
		V back[kOldest + 1];
#pragma GCC unroll 8
		for (int r = 0; r < K; ++r)
		{
			for (int k = 0; k < 5; ++k)
				c[r][k] = incoming[r][k] = stages[r].c[k];
			if constexpr (kFolded)
			{
				foldCoefficients<Isa> (c[r]);
				foldCoefficients<Isa> (incoming[r]);
			}
			double lanes[kWidth];  // each lane's place in the group's wavefront (Layout)
			for (int lane = 0; lane < kWidth; ++lane)
				lanes[lane] = static_cast<double> (slotOf (lane) * kSpacing + r);
			position[r] = Isa::fromLanes (lanes);
			p[r] = Isa::zero ();  // read only after the slot has produced a value
		}
		for (V& v : back)
			v = Isa::zero ();

		// One step on the given coefficients and wavefront state, reading frame in (none when
		// negative: zeros) and giving out frame out (none when negative). The lambdas are always
		// inlined: a call would take the states' addresses and keep them in memory.
		auto advance = [&] (const V (&coefficients)[K][5], V (&v1)[K], V (&v2)[K], V (&vb)[K], V (&y)[K],
		                    V (&history)[kOldest + 1], int in, int out) __attribute__ ((always_inline)) {
			const V x0 = in >= 0 ? Isa::template loadFrame<kChannels> (data + stride * in) : Isa::zero ();
			const V last = kExtra > 0 ? history[kOldest] : y[K - 1];
			shiftHistory (history, y[K - 1]);
#pragma GCC unroll 8
			for (int r = K - 1; r >= 0; --r)
				y[r] = sectionTick<Isa, kFolded> (coefficients[r], v1[r], v2[r], vb[r],
				                                  r == 0 ? Isa::template shiftIn<kChannels> (x0, last) : y[r - 1]);
			if (out >= 0)
				Isa::template storeFrame<kChannels> (data + stride * out, y[K - 1]);
		};
		auto step = [&] (int in, int out) __attribute__ ((always_inline)) { advance (c, s1, s2, before, p, back, in, out); };
		// The second states as the stages keep them.
		auto formed = [&] (const V (&coefficients)[5], V v2, V vb) __attribute__ ((always_inline)) {
			if constexpr (kFolded)
				return formedState<Isa> (coefficients, v2, vb);
			else
				return v2;
		};

		if (switches.count == 0 && n > kLatency)
		{
			// kLatency + 1 steps in which, at step d, the slot at position d (register d mod kSpacing,
			// when there is one) hands its states to `leaving`, having passed its last frame, and
			// takes those of `entering`, its first frame being next, with their coefficients when
			// both are given (a new group). Step d reads frame d, none when draining, and gives out
			// frame d - kLatency, which is frame d - kLatency + n of the pass before while negative
			// (none when filling). Draining ends with the hand-back at d == kLatency.
			V mixed[K][5];
			auto window = [&] (Stage* leaving, const Stage* entering) __attribute__ ((always_inline)) {
				const bool starting = leaving == nullptr, ending = entering == nullptr;
				const bool newCoefficients = !starting && !ending;
				// Its own copies of the state and coefficients: with them, the compiler keeps the
				// steady loops' outputs in registers.
				V h1[K], h2[K], h0[K], hp[K], hb[kOldest + 1];
#pragma GCC unroll 8
				for (int r = 0; r < K; ++r)
				{
					h1[r] = s1[r], h2[r] = s2[r], hp[r] = p[r];
					if constexpr (kFolded)
						h0[r] = before[r];
					for (int k = 0; k < 5; ++k)
					{
						mixed[r][k] = c[r][k];
						if (newCoefficients)
							incoming[r][k] = entering[r].c[k];
					}
					if constexpr (kFolded)
						if (newCoefficients)
							foldCoefficients<Isa> (incoming[r]);
				}
				for (int i = 0; i <= kOldest; ++i)
					hb[i] = back[i];
#pragma GCC unroll 1
				for (int slot = 0; slot < kSlots; ++slot)
				{
					const V at = Isa::set1 (static_cast<double> (slot * kSpacing));
					const auto lanes = Isa::within (position[0], at, at);
#pragma GCC unroll 8
					for (int r = 0; r < K; ++r)
					{
						if (!starting)
						{
							leaving[r].s1 = Isa::select (lanes, h1[r], leaving[r].s1);
							leaving[r].s2 = Isa::select (lanes, formed (mixed[r], h2[r], h0[r]), leaving[r].s2);
						}
						if (!ending)
						{
							h1[r] = Isa::select (lanes, entering[r].s1, h1[r]);
							h2[r] = Isa::select (lanes, entering[r].s2, h2[r]);
							if constexpr (kFolded)
								h0[r] = Isa::select (lanes, Isa::zero (), h0[r]);
						}
						if (newCoefficients)
							for (int k = 0; k < 5; ++k)
								mixed[r][k] = Isa::select (lanes, incoming[r][k], mixed[r][k]);
						const int d = slot * kSpacing + r;
						if (d < kLatency)
							advance (mixed, h1, h2, h0, hp, hb, ending ? -1 : d, starting ? -1 : d - kLatency + n);
						else if (!ending)
							advance (mixed, h1, h2, h0, hp, hb, d, 0);
					}
					if (slot < kSlots - 1)
						for (int e = 0; e < kExtra; ++e)
						{
							const int d = slot * kSpacing + K + e;
							advance (mixed, h1, h2, h0, hp, hb, ending ? -1 : d, starting ? -1 : d - kLatency + n);
						}
				}
#pragma GCC unroll 8
				for (int r = 0; r < K; ++r)
				{
					if (newCoefficients)
						for (int k = 0; k < 5; ++k)
							c[r][k] = incoming[r][k];
					s1[r] = h1[r], s2[r] = h2[r], p[r] = hp[r];
					if constexpr (kFolded)
						before[r] = h0[r];
				}
				for (int i = 0; i <= kOldest; ++i)
					back[i] = hb[i];
			};

			for (int r = 0; r < K; ++r)
				s1[r] = s2[r] = before[r] = Isa::zero ();
			for (int g = 0; g < chained; ++g)
			{
				window (g > 0 ? stages + (g - 1) * K : nullptr, stages + g * K);
				for (int t = kLatency + 1; t < n; ++t)
					step (t, t - kLatency);
			}
			window (stages + (chained - 1) * K, nullptr);
			return;
		}

#pragma GCC unroll 8
		for (int r = 0; r < K; ++r)
		{
			s1[r] = stages[r].s1;
			s2[r] = stages[r].s2;
			before[r] = Isa::zero ();
		}
		auto partialStep = [&] (int t) __attribute__ ((always_inline)) {
			const V x0 = t < n ? Isa::template loadFrame<kChannels> (data + stride * t) : Isa::zero ();
			const V lo = Isa::set1 (static_cast<double> (t - n + 1)), hi = Isa::set1 (static_cast<double> (t));
			const V last = kExtra > 0 ? back[kOldest] : p[K - 1];
			shiftHistory (back, p[K - 1]);
#pragma GCC unroll 8
			for (int r = K - 1; r >= 0; --r)
			{
				const V x = r == 0 ? Isa::template shiftIn<kChannels> (x0, last) : p[r - 1];
				V n1 = s1[r], n2 = s2[r], n0 = before[r];
				p[r] = sectionTick<Isa, kFolded> (c[r], n1, n2, n0, x);
				const auto active = Isa::within (position[r], lo, hi);
				s1[r] = Isa::select (active, n1, s1[r]);
				s2[r] = Isa::select (active, n2, s2[r]);
				if constexpr (kFolded)
					before[r] = Isa::select (active, n0, before[r]);
			}
			if (t >= kLatency)
				Isa::template storeFrame<kChannels> (data + stride * (t - kLatency), p[K - 1]);
		};

		int next = 0;       // the next switch
		int switchAt = -1;  // frame of the switch in progress, -1 when none
		for (int t = 0; t < n + kLatency;)
		{
			// Switches are at least a group's length apart, so the one before has finished here.
			if (next < switches.count && t == switches.at[next])
			{
				const Coefficients* set = switches.sets + next * kMaxBandRegisters + first;
				for (int r = 0; r < K; ++r)
				{
					for (int k = 0; k < 5; ++k)
						incoming[r][k] = set[r].c[k];
					if constexpr (kFolded)
						foldCoefficients<Isa> (incoming[r]);
				}
				switchAt = t;
				++next;
			}
			if (switchAt >= 0)
			{
				// d steps after the switch, the slot at position d (register d mod kSpacing, when
				// there is one) reaches the switch frame; the slots before it already hold the new
				// coefficients.
				const int d = t - switchAt;
				const int reaching = d % kSpacing;
				if (reaching < K)
				{
					const auto switched =
					    Isa::within (position[reaching], Isa::set1 (-1.0), Isa::set1 (static_cast<double> (d)));
#pragma GCC unroll 8
					for (int r = 0; r < K; ++r)
						if (r == reaching)
						{
							if constexpr (kFolded)
							{
								// Formed on the coefficients it was made with, before they change.
								s2[r] = formedState<Isa> (c[r], s2[r], before[r]);
								before[r] = Isa::zero ();
							}
							for (int k = 0; k < 5; ++k)
								c[r][k] = Isa::select (switched, incoming[r][k], c[r][k]);
						}
				}
				if (d == kLatency)
					switchAt = -1;
			}
			if (t < kLatency || t >= n)
			{
				partialStep (t++);
				continue;
			}
			if (switchAt >= 0)
			{
				step (t, t - kLatency);
				++t;
				continue;
			}
			const int end = next < switches.count && switches.at[next] < n ? switches.at[next] : n;
			for (; t < end; ++t)
				step (t, t - kLatency);
		}

#pragma GCC unroll 8
		for (int r = 0; r < K; ++r)
		{
			stages[r].s1 = s1[r];
			stages[r].s2 = formed (c[r], s2[r], before[r]);
		}
	}
};

template <class Isa>
void stereoCascade (SectionChain left, SectionChain right, double* interleaved, int frames) noexcept
{
	const SectionChain chains[2] = {left, right};
	Cascade<Isa, 2>::run (chains, interleaved, frames, 2);
}

template <class Isa>
void monoCascade (SectionChain chain, double* samples, int n, int stride) noexcept
{
	Cascade<Isa, 1>::run (&chain, samples, n, stride);
}

template <class Isa>
bool switchingCascade (const SectionChain* chains, int channels, double* data, int n, int stride, const int* at,
                       int count, const SwitchingDesigns& designs) noexcept
{
	if (channels == 2)
		return Cascade<Isa, 2>::runSwitching (chains, data, n, 2, at, count, designs);
	return Cascade<Isa, 1>::runSwitching (chains, data, n, stride, at, count, designs);
}

} // namespace QuenrilEQ::kernels
