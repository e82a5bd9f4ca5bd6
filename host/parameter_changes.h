// The host's parameter-change lists handed to IAudioProcessor::process.
#pragma once

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <memory>
#include <vector>

namespace QuenrilEQ {
namespace host {

/** One parameter's points within a block, kept in ascending sample offset; a
 *  point at an offset already present replaces it. Owned by its ParameterChanges:
 *  reference counting is a no-op (a plug-in must not keep it past process). */
class ParamValueQueue : public Steinberg::Vst::IParamValueQueue
{
public:
	explicit ParamValueQueue (Steinberg::Vst::ParamID id = 0) : id_ (id) {}
	virtual ~ParamValueQueue () = default;

	/** Reuses the queue for another parameter, keeping its storage. */
	void reset (Steinberg::Vst::ParamID id);

	Steinberg::Vst::ParamID PLUGIN_API getParameterId () override { return id_; }
	Steinberg::int32 PLUGIN_API getPointCount () override;
	Steinberg::tresult PLUGIN_API getPoint (Steinberg::int32 index, Steinberg::int32& sampleOffset,
	                                        Steinberg::Vst::ParamValue& value) override;
	Steinberg::tresult PLUGIN_API addPoint (Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
	                                        Steinberg::int32& index) override;

	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

private:
	struct Point
	{
		Steinberg::int32 offset;
		Steinberg::Vst::ParamValue value;
	};
	Steinberg::Vst::ParamID id_;
	std::vector<Point> points_;
};

/** The list of changed parameters for one block, in the order they were first
 *  added. clear() keeps the queues' storage, so a host that reserves enough
 *  queues up front can refill the list every block without allocating.
 *  Not thread-safe: fill it, then hand it to one process call. */
class ParameterChanges : public Steinberg::Vst::IParameterChanges
{
public:
	ParameterChanges () = default;
	virtual ~ParameterChanges () = default;
	ParameterChanges (const ParameterChanges&) = delete;
	ParameterChanges& operator= (const ParameterChanges&) = delete;

	/** Adds one point (sample offset within the block, normalised value). */
	void add (Steinberg::Vst::ParamID id, Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value);
	/** Empties the list for the next block. */
	void clear () { used_ = 0; }
	/** Makes room for count queues (allocates now, so later blocks need not). */
	void reserve (size_t count);

	Steinberg::int32 PLUGIN_API getParameterCount () override { return static_cast<Steinberg::int32> (used_); }
	Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData (Steinberg::int32 index) override;
	Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData (const Steinberg::Vst::ParamID& id,
	                                                               Steinberg::int32& index) override;

	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

private:
	std::vector<std::unique_ptr<ParamValueQueue>> queues_;
	size_t used_ = 0;
};

} // namespace host
} // namespace QuenrilEQ
