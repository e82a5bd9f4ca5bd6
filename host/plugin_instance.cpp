#include "plugin_instance.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace QuenrilEQ {
namespace host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
void setError (std::string* error, const std::string& text)
{
	if (error)
		*error = text;
}

// The SDK's HostApplication does not count references (release never frees
// it): it is meant to live as long as the process, so one serves every instance.
IHostApplication* hostApplication ()
{
	static HostApplication application;
	return &application;
}
} // namespace

std::unique_ptr<PluginInstance> PluginInstance::create (std::shared_ptr<Module> module, const FUID& cid,
                                                        std::string* error)
{
	if (!module)
	{
		setError (error, "no module");
		return nullptr;
	}
	std::unique_ptr<PluginInstance> instance (new PluginInstance ());
	instance->module_ = std::move (module);
	if (!instance->initialise (cid, error))
		return nullptr;
	return instance;
}

std::unique_ptr<PluginInstance> PluginInstance::createFirst (std::shared_ptr<Module> module, std::string* error)
{
	if (!module)
	{
		setError (error, "no module");
		return nullptr;
	}
	auto record = module->firstClassOf (kVstAudioEffectClass);
	if (!record)
	{
		setError (error, module->libraryPath () + " offers no \"" kVstAudioEffectClass "\"");
		return nullptr;
	}
	return create (std::move (module), record->cid, error);
}

bool PluginInstance::initialise (const FUID& cid, std::string* error)
{
	hostContext_ = hostApplication ();
	handler_ = owned (new RecordingComponentHandler ());

	TUID tuid;
	cid.toTUID (tuid);
	component_ = owned (static_cast<IComponent*> (module_->createObject (tuid, IComponent::iid)));
	if (!component_)
	{
		FUID::String text {};
		cid.toString (text);
		setError (error, std::string ("the factory could not create class ") + text);
		return false;
	}
	if (component_->initialize (hostContext_) != kResultOk)
	{
		setError (error, "the processor's initialize failed");
		return false;
	}
	componentInitialised_ = true;

	processor_ = FUnknownPtr<IAudioProcessor> (component_);
	if (!processor_)
	{
		setError (error, "the component offers no IAudioProcessor");
		return false;
	}
	createController ();
	if (controller_)
	{
		controller_->setComponentHandler (handler_);
		componentPoint_ = FUnknownPtr<IConnectionPoint> (component_);
		controllerPoint_ = FUnknownPtr<IConnectionPoint> (controller_);
		if (!singleComponent_ && componentPoint_ && controllerPoint_)
		{
			componentPoint_->connect (controllerPoint_);
			controllerPoint_->connect (componentPoint_);
			connected_ = true;
		}
		syncControllerToProcessor ();
	}
	return true;
}

void PluginInstance::createController ()
{
	FUnknownPtr<IEditController> itself (component_);
	if (itself)
	{
		controller_ = itself;
		singleComponent_ = true;
		return;
	}
	TUID controllerCid;
	if (component_->getControllerClassId (controllerCid) != kResultOk || FUID::fromTUID (controllerCid) == FUID ())
		return;
	controller_ = owned (static_cast<IEditController*> (module_->createObject (controllerCid, IEditController::iid)));
	if (!controller_)
		return;
	if (controller_->initialize (hostContext_) != kResultOk)
	{
		// A controller that failed to initialise is not usable; the processor still is.
		controller_ = nullptr;
		return;
	}
	controllerInitialised_ = true;
}

PluginInstance::~PluginInstance ()
{
	if (component_)
		stop ();
	if (connected_)
	{
		componentPoint_->disconnect (controllerPoint_);
		controllerPoint_->disconnect (componentPoint_);
	}
	componentPoint_ = nullptr;
	controllerPoint_ = nullptr;
	if (controller_)
		controller_->setComponentHandler (nullptr);
	// A single-component plug-in is terminated once, as the component below.
	if (controller_ && !singleComponent_ && controllerInitialised_)
		controller_->terminate ();
	controller_ = nullptr;
	processor_ = nullptr;
	if (component_ && componentInitialised_)
		component_->terminate ();
	component_ = nullptr;
	handler_ = nullptr;
	module_.reset (); // last of all: the objects' code lives in the module
}

int32 PluginInstance::busCount (BusDirection direction) const
{
	return component_->getBusCount (kAudio, direction);
}

bool PluginInstance::busInfo (BusDirection direction, int32 index, BusInfo& info) const
{
	return component_->getBusInfo (kAudio, direction, index, info) == kResultOk;
}

tresult PluginInstance::activateBus (BusDirection direction, int32 index, bool state)
{
	tresult result = component_->activateBus (kAudio, direction, index, state);
	auto& flags = activeBuses_[direction == kInput ? 0 : 1];
	if (result == kResultOk && index >= 0)
	{
		if (static_cast<size_t> (index) >= flags.size ())
			flags.resize (static_cast<size_t> (index) + 1, false);
		flags[static_cast<size_t> (index)] = state;
	}
	return result;
}

void PluginInstance::activateDefaultBuses ()
{
	for (BusDirection direction : {kInput, kOutput})
	{
		for (int32 i = 0; i < busCount (direction); ++i)
		{
			BusInfo info {};
			if (busInfo (direction, i, info) && (info.flags & BusInfo::kDefaultActive))
				activateBus (direction, i, true);
		}
	}
}

tresult PluginInstance::setBusArrangements (std::vector<SpeakerArrangement> inputs,
                                            std::vector<SpeakerArrangement> outputs)
{
	return processor_->setBusArrangements (inputs.empty () ? nullptr : inputs.data (),
	                                       static_cast<int32> (inputs.size ()),
	                                       outputs.empty () ? nullptr : outputs.data (),
	                                       static_cast<int32> (outputs.size ()));
}

SpeakerArrangement PluginInstance::busArrangement (BusDirection direction, int32 index) const
{
	SpeakerArrangement arrangement = 0;
	if (processor_->getBusArrangement (direction, index, arrangement) != kResultOk)
		return 0;
	return arrangement;
}

bool PluginInstance::busActive (BusDirection direction, int32 index) const
{
	const auto& flags = activeBuses_[direction == kInput ? 0 : 1];
	return index >= 0 && static_cast<size_t> (index) < flags.size () && flags[static_cast<size_t> (index)];
}

std::vector<int32> PluginInstance::processChannelCounts (BusDirection direction) const
{
	std::vector<int32> counts;
	for (int32 i = 0; i < busCount (direction); ++i)
	{
		BusInfo info {};
		int32 channels = 0;
		if (busActive (direction, i) && busInfo (direction, i, info))
		{
			SpeakerArrangement arrangement = busArrangement (direction, i);
			channels = arrangement ? SpeakerArr::getChannelCount (arrangement) : info.channelCount;
		}
		counts.push_back (channels);
	}
	return counts;
}

tresult PluginInstance::setupProcessing (double sampleRate, int32 maxBlock, int32 processMode, int32 sampleSize)
{
	ProcessSetup setup {processMode, sampleSize, maxBlock, sampleRate};
	sampleRate_ = sampleRate;
	processMode_ = processMode;
	sampleSize_ = sampleSize;
	return processor_->setupProcessing (setup);
}

tresult PluginInstance::setActive (bool state)
{
	tresult result = component_->setActive (state);
	if (result == kResultOk || !state)
		active_ = state;
	return result;
}

tresult PluginInstance::setProcessing (bool state)
{
	tresult result = processor_->setProcessing (state);
	processing_ = state;
	return result;
}

tresult PluginInstance::start (double sampleRate, int32 maxBlock, int32 processMode)
{
	tresult result = setupProcessing (sampleRate, maxBlock, processMode);
	if (result != kResultOk)
		return result;
	result = setActive (true);
	if (result != kResultOk)
		return result;
	// Many plug-ins answer kNotImplemented here; that is no failure.
	tresult processingResult = setProcessing (true);
	return processingResult == kNotImplemented ? kResultOk : processingResult;
}

void PluginInstance::stop ()
{
	if (processing_)
		setProcessing (false);
	if (active_)
		setActive (false);
}

tresult PluginInstance::process (ProcessBuffers& buffers, int32 numSamples, IParameterChanges* inputChanges,
                                 IParameterChanges* outputChanges)
{
	ProcessData data;
	data.processMode = processMode_;
	data.symbolicSampleSize = sampleSize_;
	data.numSamples = numSamples;
	data.numInputs = buffers.numInputs ();
	data.numOutputs = buffers.numOutputs ();
	data.inputs = buffers.inputBuses ();
	data.outputs = buffers.outputBuses ();
	data.inputParameterChanges = inputChanges;
	// Some plug-ins insist on an output list; give them the instance's own.
	if (!outputChanges)
	{
		ownOutputChanges_.clear ();
		outputChanges = &ownOutputChanges_;
	}
	data.outputParameterChanges = outputChanges;
	return processor_->process (data);
}

uint32 PluginInstance::latencySamples () const { return processor_->getLatencySamples (); }
uint32 PluginInstance::tailSamples () const { return processor_->getTailSamples (); }

} // namespace host
} // namespace QuenrilEQ
