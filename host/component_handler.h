// The host's IComponentHandler: records every call a controller makes, in order.
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace QuenrilEQ {
namespace host {

/** One call the controller made to the host. */
struct HandlerCall
{
	enum class Kind
	{
		BeginEdit,
		PerformEdit,
		EndEdit,
		RestartComponent
	};
	Kind kind = Kind::BeginEdit;
	Steinberg::Vst::ParamID id = 0; ///< parameter ID (edits only)
	Steinberg::Vst::ParamValue value = 0; ///< normalised value (PerformEdit only)
	Steinberg::int32 flags = 0; ///< RestartFlags (RestartComponent only)

	bool operator== (const HandlerCall& other) const
	{
		return kind == other.kind && id == other.id && value == other.value && flags == other.flags;
	}
};

/** Records beginEdit/performEdit/endEdit/restartComponent calls. A controller may
 *  call from any thread, so the log is guarded by a mutex: this is the host side,
 *  never the plug-in's audio thread. Reference counted the SDK way: create it
 *  with owned(new RecordingComponentHandler). */
class RecordingComponentHandler : public Steinberg::Vst::IComponentHandler
{
public:
	RecordingComponentHandler ();
	virtual ~RecordingComponentHandler () = default;

	Steinberg::tresult PLUGIN_API beginEdit (Steinberg::Vst::ParamID id) override;
	Steinberg::tresult PLUGIN_API performEdit (Steinberg::Vst::ParamID id,
	                                           Steinberg::Vst::ParamValue valueNormalized) override;
	Steinberg::tresult PLUGIN_API endEdit (Steinberg::Vst::ParamID id) override;
	Steinberg::tresult PLUGIN_API restartComponent (Steinberg::int32 flags) override;

	/** A copy of the calls so far, oldest first. Any thread. */
	std::vector<HandlerCall> calls () const;
	/** Forgets the recorded calls. Any thread. */
	void clear ();
	/** Number of restartComponent calls whose flags include all bits of mask. Any thread. */
	size_t restartCount (Steinberg::int32 mask) const;

	DECLARE_FUNKNOWN_METHODS

private:
	void record (const HandlerCall& call);

	mutable std::mutex mutex_;
	std::vector<HandlerCall> calls_;
};

} // namespace host
} // namespace QuenrilEQ
