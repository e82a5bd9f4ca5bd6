// The plug-in side of a render: one or more instances fed block by block.
#pragma once

#include "render_options.h"

#include "parameter_changes.h"
#include "plugin_instance.h"

#include <memory>
#include <string>
#include <vector>

namespace QuenrilEQ {
namespace render {

/** Runs a file's channels through plug-in instances. A plug-in whose main
 *  bus has fewer channels than the file gets one instance per group of
 *  channels (one per channel for a mono plug-in), as DAWs do; a mono file
 *  through a multi-channel plug-in feeds every input and keeps output
 *  channel 0. Single-threaded: the tool's one thread plays both host roles. */
class Renderer
{
public:
	/** channels and sampleRate (Hz) of the file; sidechainChannels 0 for no side-chain. */
	static std::unique_ptr<Renderer> create (const std::shared_ptr<host::Module>& module, int channels,
	                                         double sampleRate, int blockSize, int sidechainChannels,
	                                         std::string& error);

	/** Values for the start: given to every controller now and to every
	 *  processor in the first block's parameter changes (later entries win). */
	void setInitialValues (const std::vector<ParameterSetting>& values);
	/** Ramps, one value per block, from block 0 (FROM) to block totalBlocks-1 (TO). */
	void setAutomations (const std::vector<Automation>& automations, int64_t totalBlocks);

	/** One block of frames (<= blockSize): input and output interleaved with
	 *  the file's channel count, sidechain with its own (or null). */
	void process (const float* input, const float* sidechain, float* output, int frames);

	size_t instanceCount () const { return instances_.size (); }
	host::PluginInstance& firstInstance () { return *instances_.front ().plugin; }
	/** Latency the first instance reports now, in samples. */
	Steinberg::uint32 latencySamples () const { return instances_.front ().plugin->latencySamples (); }
	/** Wall-clock seconds spent inside process calls so far. */
	double processSeconds () const { return processSeconds_; }

private:
	struct Instance
	{
		std::unique_ptr<host::PluginInstance> plugin;
		std::unique_ptr<host::ProcessBuffers> buffers;
	};
	Renderer () = default;
	void fillChanges ();

	std::vector<Instance> instances_;
	int channels_ = 0;
	int sidechainChannels_ = 0;
	int pluginChannels_ = 0;
	int pluginOutputs_ = 0;
	int auxChannels_ = 0;
	Steinberg::int32 mainIn_ = -1;
	Steinberg::int32 mainOut_ = -1;
	Steinberg::int32 auxIn_ = -1;
	std::vector<ParameterSetting> initial_;
	std::vector<Automation> automations_;
	int64_t totalBlocks_ = 1;
	int64_t blockIndex_ = 0;
	host::ParameterChanges changes_;
	double processSeconds_ = 0;
};

} // namespace render
} // namespace QuenrilEQ
