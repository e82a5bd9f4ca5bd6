// The last normalised value the processor received for every parameter,
// stored as 32-bit floats. Fixed storage indexed by id, so storing and
// reading never allocate on the audio thread. Ids that are no parameter of
// ours have no slot: they are accepted and forgotten, as nothing reads them.
#pragma once

#include "parameters.h"

#include <array>
#include <bitset>

namespace QuenrilEQ {

class ParamValueMap
{
public:
	/** Slots: 0 Phase Mode, 1 Linear Latency, then 16 per band (offsets 13..15 included). */
	static constexpr int kNumSlots = 2 + kParamBands * kBandIdStride;

	static constexpr int slotOf (ParamId id) noexcept
	{
		if (id == kPhaseModeId)
			return 0;
		if (id == kLinearLatencyId)
			return 1;
		if (id >= kFirstBandId && id - kFirstBandId < static_cast<ParamId> (kParamBands * kBandIdStride))
			return 2 + static_cast<int> (id - kFirstBandId);
		return -1;
	}

	static constexpr ParamId idOfSlot (int slot) noexcept
	{
		return slot == 0 ? kPhaseModeId
		                 : slot == 1 ? kLinearLatencyId : kFirstBandId + static_cast<ParamId> (slot - 2);
	}

	/** The stored value; 0 for a value never stored. */
	float get (ParamId id) const noexcept
	{
		const int slot = slotOf (id);
		return slot < 0 ? 0.0f : values[static_cast<size_t> (slot)];
	}

	void set (ParamId id, float value) noexcept
	{
		const int slot = slotOf (id);
		if (slot >= 0)
			values[static_cast<size_t> (slot)] = value;
	}

private:
	std::array<float, kNumSlots> values {};
};

/** Parameter changes held back on the audio thread while the state was busy:
    the last value per id, applied at the next block that gets the state. */
class PendingChanges
{
public:
	void record (ParamId id, float value) noexcept
	{
		const int slot = ParamValueMap::slotOf (id);
		if (slot < 0)
			return;
		latest.set (id, value);
		present.set (static_cast<size_t> (slot));
	}

	bool empty () const noexcept { return present.none (); }

	/** Calls apply(id, value) for every held change in id order, then forgets them. */
	template <typename Apply>
	void drain (Apply&& apply) noexcept
	{
		if (present.none ())
			return;
		for (int slot = 0; slot < ParamValueMap::kNumSlots; ++slot)
			if (present.test (static_cast<size_t> (slot)))
				apply (ParamValueMap::idOfSlot (slot), latest.get (ParamValueMap::idOfSlot (slot)));
		present.reset ();
	}

private:
	ParamValueMap latest;
	std::bitset<ParamValueMap::kNumSlots> present;
};

} // namespace QuenrilEQ
