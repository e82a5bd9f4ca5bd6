#include "renderer.h"

#include <algorithm>
#include <chrono>

namespace QuenrilEQ {
namespace render {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
int32 firstBusOfType (host::PluginInstance& plugin, BusDirection direction, BusType type)
{
	for (int32 i = 0; i < plugin.busCount (direction); ++i)
	{
		BusInfo info {};
		if (plugin.busInfo (direction, i, info) && info.busType == type)
			return i;
	}
	return -1;
}

int busChannels (host::PluginInstance& plugin, BusDirection direction, int32 bus)
{
	if (bus < 0)
		return 0;
	SpeakerArrangement arrangement = plugin.busArrangement (direction, bus);
	if (arrangement)
		return SpeakerArr::getChannelCount (arrangement);
	BusInfo info {};
	return plugin.busInfo (direction, bus, info) ? info.channelCount : 0;
}

std::vector<SpeakerArrangement> currentArrangements (host::PluginInstance& plugin, BusDirection direction)
{
	std::vector<SpeakerArrangement> arrangements;
	for (int32 i = 0; i < plugin.busCount (direction); ++i)
		arrangements.push_back (plugin.busArrangement (direction, i));
	return arrangements;
}
} // namespace

std::unique_ptr<Renderer> Renderer::create (const std::shared_ptr<host::Module>& module, int channels,
                                            double sampleRate, int blockSize, int sidechainChannels,
                                            std::string& error)
{
	std::unique_ptr<Renderer> renderer (new Renderer ());
	renderer->channels_ = channels;
	renderer->sidechainChannels_ = sidechainChannels;

	std::string why;
	auto first = host::PluginInstance::createFirst (module, &why);
	if (!first)
	{
		error = "cannot create the plug-in: " + why;
		return nullptr;
	}
	renderer->mainIn_ = firstBusOfType (*first, kInput, kMain);
	renderer->mainOut_ = firstBusOfType (*first, kOutput, kMain);
	renderer->auxIn_ = firstBusOfType (*first, kInput, kAux);
	if (renderer->mainIn_ < 0 || renderer->mainOut_ < 0)
	{
		error = "the plug-in has no main audio input and output";
		return nullptr;
	}
	if (sidechainChannels > 0 && renderer->auxIn_ < 0)
	{
		error = "the plug-in has no side-chain input";
		return nullptr;
	}

	// Ask for the file's layout first; a plug-in that refuses keeps its own.
	std::vector<SpeakerArrangement> inputs, outputs;
	int pluginChannels = busChannels (*first, kInput, renderer->mainIn_);
	if (pluginChannels != channels && channels <= 2)
	{
		inputs = currentArrangements (*first, kInput);
		outputs = currentArrangements (*first, kOutput);
		const SpeakerArrangement wanted = channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
		inputs[static_cast<size_t> (renderer->mainIn_)] = wanted;
		outputs[static_cast<size_t> (renderer->mainOut_)] = wanted;
		if (first->setBusArrangements (inputs, outputs) != kResultOk)
		{
			inputs.clear ();
			outputs.clear ();
		}
	}
	renderer->pluginChannels_ = busChannels (*first, kInput, renderer->mainIn_);
	renderer->pluginOutputs_ = busChannels (*first, kOutput, renderer->mainOut_);
	const int per = renderer->pluginChannels_;
	if (per < 1 || renderer->pluginOutputs_ < 1 || (channels > 1 && channels % per != 0))
	{
		error = "the plug-in's " + std::to_string (per) + "-channel main bus cannot take a " +
		        std::to_string (channels) + "-channel file";
		return nullptr;
	}
	const int count = channels == 1 ? 1 : channels / per;

	for (int i = 0; i < count; ++i)
	{
		std::unique_ptr<host::PluginInstance> plugin = i == 0 ? std::move (first) : host::PluginInstance::createFirst (module, &why);
		if (!plugin)
		{
			error = "cannot create plug-in instance " + std::to_string (i + 1) + ": " + why;
			return nullptr;
		}
		if (i > 0 && !inputs.empty ())
			plugin->setBusArrangements (inputs, outputs);
		plugin->activateDefaultBuses ();
		plugin->activateBus (kInput, renderer->mainIn_, true);
		plugin->activateBus (kOutput, renderer->mainOut_, true);
		if (sidechainChannels > 0 && plugin->activateBus (kInput, renderer->auxIn_, true) != kResultOk)
		{
			error = "the plug-in refused to activate its side-chain input";
			return nullptr;
		}
		if (plugin->start (sampleRate, blockSize) != kResultOk)
		{
			error = "the plug-in refused to start processing at " + std::to_string (sampleRate) + " Hz";
			return nullptr;
		}
		Instance instance;
		instance.buffers = std::make_unique<host::ProcessBuffers> (plugin->processChannelCounts (kInput),
		                                                           plugin->processChannelCounts (kOutput), blockSize);
		instance.plugin = std::move (plugin);
		renderer->instances_.push_back (std::move (instance));
	}
	renderer->auxChannels_ =
	    sidechainChannels > 0 ? renderer->instances_.front ().buffers->inputChannels (renderer->auxIn_) : 0;
	return renderer;
}

void Renderer::setInitialValues (const std::vector<ParameterSetting>& values)
{
	initial_ = values;
	for (auto& instance : instances_)
		for (const auto& setting : values)
			instance.plugin->setParamNormalized (setting.id, setting.value);
	changes_.reserve (initial_.size () + automations_.size ());
}

void Renderer::setAutomations (const std::vector<Automation>& automations, int64_t totalBlocks)
{
	automations_ = automations;
	totalBlocks_ = std::max<int64_t> (totalBlocks, 1);
	changes_.reserve (initial_.size () + automations_.size ());
}

void Renderer::fillChanges ()
{
	changes_.clear ();
	if (blockIndex_ == 0)
		for (const auto& setting : initial_)
			changes_.add (setting.id, 0, setting.value);
	const double position =
	    totalBlocks_ > 1 ? static_cast<double> (std::min (blockIndex_, totalBlocks_ - 1)) / static_cast<double> (totalBlocks_ - 1) : 0.0;
	for (const auto& ramp : automations_)
	{
		const double value = ramp.from + (ramp.to - ramp.from) * position;
		changes_.add (ramp.id, 0, value);
		for (auto& instance : instances_)
			instance.plugin->setParamNormalized (ramp.id, value);
	}
}

void Renderer::process (const float* input, const float* sidechain, float* output, int frames)
{
	fillChanges ();
	const int per = pluginChannels_;
	for (size_t k = 0; k < instances_.size (); ++k)
	{
		auto& buffers = *instances_[k].buffers;
		for (int j = 0; j < per; ++j)
		{
			const int source = channels_ == 1 ? 0 : static_cast<int> (k) * per + j;
			float* target = buffers.input (mainIn_, j);
			for (int f = 0; f < frames && target; ++f)
				target[f] = input[f * channels_ + source];
		}
		for (int j = 0; j < auxChannels_ && sidechain; ++j)
		{
			const int source = sidechainChannels_ == 1 ? 0 : std::min (static_cast<int> (k) * auxChannels_ + j, sidechainChannels_ - 1);
			float* target = buffers.input (auxIn_, j);
			for (int f = 0; f < frames && target; ++f)
				target[f] = sidechain[f * sidechainChannels_ + source];
		}
		buffers.clearOutputs ();
		auto start = std::chrono::steady_clock::now ();
		instances_[k].plugin->process (buffers, frames, &changes_);
		processSeconds_ += std::chrono::duration<double> (std::chrono::steady_clock::now () - start).count ();
	}
	for (int c = 0; c < channels_; ++c)
	{
		const size_t k = channels_ == 1 ? 0 : static_cast<size_t> (c / per);
		const int j = channels_ == 1 ? 0 : c % per;
		const float* result = j < pluginOutputs_ ? instances_[k].buffers->output (mainOut_, j) : nullptr;
		for (int f = 0; f < frames; ++f)
			output[f * channels_ + c] = result ? result[f] : 0.0f;
	}
	++blockIndex_;
}

} // namespace render
} // namespace QuenrilEQ
