// One plug-in instance as a host sees it: processor, controller, buses,
// processing and state.
#pragma once

#include "component_handler.h"
#include "module.h"
#include "parameter_changes.h"
#include "process_buffers.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <memory>
#include <string>
#include <vector>

namespace QuenrilEQ {
namespace host {

/** A parameter as the controller lists it; strings in UTF-8. */
struct ParameterRecord
{
	Steinberg::Vst::ParamID id = 0;
	std::string title;
	std::string shortTitle;
	std::string units;
	Steinberg::int32 stepCount = 0;
	Steinberg::Vst::ParamValue defaultNormalizedValue = 0;
	Steinberg::Vst::UnitID unitId = 0;
	Steinberg::int32 flags = 0;
};

/** Creates, connects and drives one processor/controller pair the way a DAW
 *  does. Creation initialises both with the SDK's HostApplication context,
 *  installs a RecordingComponentHandler, connects them when both offer
 *  IConnectionPoint and hands the processor's state to the controller.
 *  Destruction stops processing, deactivates, disconnects and terminates.
 *
 *  Threads: process() belongs to one audio thread; everything else to the
 *  host's main thread, except getState/setState, which a test may call from
 *  another thread while process runs (the harness adds no locking: whether
 *  that is safe is the plug-in's business). */
class PluginInstance
{
public:
	/** Creates the processor of class cid; null with error filled on failure. */
	static std::unique_ptr<PluginInstance> create (std::shared_ptr<Module> module, const Steinberg::FUID& cid,
	                                               std::string* error = nullptr);
	/** Creates the module's first "Audio Module Class". */
	static std::unique_ptr<PluginInstance> createFirst (std::shared_ptr<Module> module,
	                                                    std::string* error = nullptr);
	~PluginInstance ();
	PluginInstance (const PluginInstance&) = delete;
	PluginInstance& operator= (const PluginInstance&) = delete;

	Steinberg::Vst::IComponent* component () const { return component_; }
	Steinberg::Vst::IAudioProcessor* processor () const { return processor_; }
	/** The edit controller, or null when the plug-in has none. */
	Steinberg::Vst::IEditController* controller () const { return controller_; }
	RecordingComponentHandler& handler () const { return *handler_; }
	/** True when processor and controller were connected through IConnectionPoint. */
	bool connected () const { return connected_; }
	/** True when the component is its own controller (single-component plug-in). */
	bool singleComponent () const { return singleComponent_; }

	// --- buses (audio media only) ---
	Steinberg::int32 busCount (Steinberg::Vst::BusDirection direction) const;
	bool busInfo (Steinberg::Vst::BusDirection direction, Steinberg::int32 index,
	              Steinberg::Vst::BusInfo& info) const;
	Steinberg::tresult activateBus (Steinberg::Vst::BusDirection direction, Steinberg::int32 index, bool state);
	/** Activates every bus flagged kDefaultActive, as a host does after creation. */
	void activateDefaultBuses ();
	Steinberg::tresult setBusArrangements (std::vector<Steinberg::Vst::SpeakerArrangement> inputs,
	                                       std::vector<Steinberg::Vst::SpeakerArrangement> outputs);
	/** The bus's current arrangement, or 0 when it cannot be read. */
	Steinberg::Vst::SpeakerArrangement busArrangement (Steinberg::Vst::BusDirection direction,
	                                                   Steinberg::int32 index) const;
	/** True after a successful activateBus(true) on that bus (the host's own record). */
	bool busActive (Steinberg::Vst::BusDirection direction, Steinberg::int32 index) const;
	/** Channel counts per bus for ProcessBuffers: active buses get their
	 *  arrangement's channel count, inactive ones 0. */
	std::vector<Steinberg::int32> processChannelCounts (Steinberg::Vst::BusDirection direction) const;

	// --- processing ---
	/** Sample rate in Hz, block size in samples; 32-bit samples unless told otherwise.
	 *  May be called again between blocks (the caller deactivates first if the
	 *  plug-in needs it, as the VST 3 rules ask). */
	Steinberg::tresult setupProcessing (double sampleRate, Steinberg::int32 maxBlock,
	                                    Steinberg::int32 processMode = Steinberg::Vst::kOffline,
	                                    Steinberg::int32 sampleSize = Steinberg::Vst::kSample32);
	Steinberg::tresult setActive (bool state);
	Steinberg::tresult setProcessing (bool state);
	/** setupProcessing, setActive(true), setProcessing(true). */
	Steinberg::tresult start (double sampleRate, Steinberg::int32 maxBlock,
	                          Steinberg::int32 processMode = Steinberg::Vst::kOffline);
	/** setProcessing(false), setActive(false) when active. */
	void stop ();
	bool active () const { return active_; }

	/** Runs one block of numSamples over the buffers with optional parameter
	 *  changes (and a list for the plug-in's output changes). [audio thread] */
	Steinberg::tresult process (ProcessBuffers& buffers, Steinberg::int32 numSamples,
	                            Steinberg::Vst::IParameterChanges* inputChanges = nullptr,
	                            Steinberg::Vst::IParameterChanges* outputChanges = nullptr);
	Steinberg::uint32 latencySamples () const;
	Steinberg::uint32 tailSamples () const;
	double sampleRate () const { return sampleRate_; }

	// --- state (memory streams) ---
	Steinberg::tresult getState (std::vector<char>& bytes) const;
	Steinberg::tresult setState (const std::vector<char>& bytes);
	Steinberg::tresult getControllerState (std::vector<char>& bytes) const;
	Steinberg::tresult setControllerState (const std::vector<char>& bytes);
	/** Hands bytes to the controller's setComponentState. */
	Steinberg::tresult setComponentStateOnController (const std::vector<char>& bytes);
	/** Reads the processor's state and gives it to the controller, as a host does after loading. */
	Steinberg::tresult syncControllerToProcessor ();

	// --- parameters (through the controller; empty or failing without one) ---
	std::vector<ParameterRecord> parameters () const;
	/** The controller's display text for a normalised value; empty when refused. */
	std::string paramString (Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue normalized) const;
	Steinberg::tresult setParamNormalized (Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue normalized);
	Steinberg::Vst::ParamValue getParamNormalized (Steinberg::Vst::ParamID id) const;

private:
	PluginInstance () = default;
	bool initialise (const Steinberg::FUID& cid, std::string* error);
	void createController ();

	std::shared_ptr<Module> module_;
	Steinberg::FUnknown* hostContext_ = nullptr; // process-wide, never freed
	Steinberg::IPtr<RecordingComponentHandler> handler_;
	Steinberg::IPtr<Steinberg::Vst::IComponent> component_;
	Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processor_;
	Steinberg::IPtr<Steinberg::Vst::IEditController> controller_;
	Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> componentPoint_;
	Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> controllerPoint_;
	ParameterChanges ownOutputChanges_;
	std::vector<bool> activeBuses_[2]; // [0] inputs, [1] outputs
	bool componentInitialised_ = false;
	bool controllerInitialised_ = false;
	bool singleComponent_ = false;
	bool connected_ = false;
	bool active_ = false;
	bool processing_ = false;
	double sampleRate_ = 0;
	Steinberg::int32 processMode_ = Steinberg::Vst::kOffline;
	Steinberg::int32 sampleSize_ = Steinberg::Vst::kSample32;
};

} // namespace host
} // namespace QuenrilEQ
