#include "controller.h"

#include "controller_parameters.h"
#include "analysis_bindings.h"
#include "controller_state.h"
#include "eq_bindings.h"
#include "factory_presets.h"
#include "instance_link.h"
#include "latency_notice.h"
#include "preset_bindings.h"
#include "processor_state.h"

#include "controller_bindings.h"
#include "plugin_view.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace QuenrilEQ {

namespace {
constexpr std::int64_t kSaveIntervalNs = 200'000'000;
constexpr int32 kEditorWidth = 1400;  // pixels
constexpr int32 kEditorHeight = 900;

// Controllers may be created on several host threads at once.
std::atomic<std::uint64_t> instanceCounter {0};

std::int64_t steadyNanoseconds ()
{
	return std::chrono::duration_cast<std::chrono::nanoseconds> (
	           std::chrono::steady_clock::now ().time_since_epoch ())
	    .count ();
}

/** Sets a flag for the lifetime of the scope. */
class FlagScope
{
public:
	explicit FlagScope (bool& f) : flag (f) { flag = true; }
	~FlagScope () { flag = false; }
	FlagScope (const FlagScope&) = delete;
	FlagScope& operator= (const FlagScope&) = delete;

private:
	bool& flag;
};
} // namespace

QuenrilEQController::QuenrilEQController ()
: clock (steadyNanoseconds), instanceNumber (instanceCounter.fetch_add (1) + 1)
{
}

QuenrilEQController::~QuenrilEQController ()
{
	// The parameter bindings unsubscribe from this controller's parameters:
	// they go while the controller is still whole.
	analysisBindings.reset ();
	presetBindings.reset ();
	eqBindings.reset ();
	parameterBindings.reset ();
}

tresult PLUGIN_API QuenrilEQController::initialize (FUnknown* context)
{
	tresult result = EditControllerEx1::initialize (context);
	if (result != kResultOk)
		return result;
	registerParameters (parameters);
	installBundledFactoryPresets ();
	return kResultOk;
}

tresult PLUGIN_API QuenrilEQController::getParameterInfo (int32 paramIndex, ParameterInfo& info)
{
	// The SDK's container throws for an index out of range; a host gets a refusal.
	if (paramIndex < 0 || paramIndex >= getParameterCount ())
		return kResultFalse;
	return EditControllerEx1::getParameterInfo (paramIndex, info);
}

tresult PLUGIN_API QuenrilEQController::setComponentState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	bool read = false;
	{
		FlagScope scope (restoring);
		// Every value goes through our own setParamNormalized, so the page
		// hears of it and the latency restart is asked for; nothing goes
		// back to the host as an edit.
		read = readProcessorState (state, [this] (ParamId id, float value) {
			setParamNormalized (id, static_cast<ParamValue> (value));
		});
	}
	if (!read)
		return kResultFalse;
	saveCurrentState (true);
	return kResultOk;
}

tresult PLUGIN_API QuenrilEQController::setState (IBStream* state)
{
	ControllerState restored = readControllerState (state);
	abActiveSlot = restored.abActiveSlot;
	abInactiveSlotText = std::move (restored.abInactiveSlotText);
	return kResultOk;
}

tresult PLUGIN_API QuenrilEQController::getState (IBStream* state)
{
	writeControllerState (state, ControllerState {abActiveSlot, abInactiveSlotText});
	return kResultOk;
}

tresult PLUGIN_API QuenrilEQController::setParamNormalized (ParamID tag, ParamValue value)
{
	// The SDK clamps to [0, 1] but would store a NaN as it is.
	if (std::isnan (value))
		value = 0.0;
	const tresult result = EditControllerEx1::setParamNormalized (tag, value);
	if (result != kResultOk)
		return result;
	// Asked on every set, changed or not: hosts re-read the latency only then.
	if ((tag == kPhaseModeId || tag == kLinearLatencyId) && componentHandler)
		componentHandler->restartComponent (kLatencyChanged);
	if (!restoring)
		saveCurrentState (false);
	return kResultOk;
}

IPlugView* PLUGIN_API QuenrilEQController::createView (FIDString name)
{
	if (!name || std::strcmp (name, "editor") != 0)
		return nullptr;
	if (!parameterBindings)
		parameterBindings = std::make_unique<webbridge::WebviewControllerBindings> (this);
	if (!eqBindings)
		eqBindings = std::make_unique<EqBindings> (this);
	if (!presetBindings)
		presetBindings = std::make_unique<PresetBindings> (this);
	if (!analysisBindings)
		analysisBindings = std::make_unique<AnalysisBindings> (this);
	return new webbridge::WebviewPluginView (
	    this, title, {parameterBindings.get (), eqBindings.get (), presetBindings.get (), analysisBindings.get ()},
	    ViewRect (0, 0, kEditorWidth, kEditorHeight));
}

tresult PLUGIN_API QuenrilEQController::terminate ()
{
	if (parameterBindings)
		parameterBindings->UnsubscribeAll ();
	std::lock_guard<std::mutex> lock (handlerMutex);
	return EditControllerEx1::terminate ();
}

tresult PLUGIN_API QuenrilEQController::setComponentHandler (IComponentHandler* handler)
{
	std::lock_guard<std::mutex> lock (handlerMutex);
	return EditControllerEx1::setComponentHandler (handler);
}

tresult PLUGIN_API QuenrilEQController::connect (IConnectionPoint* other)
{
	const tresult result = EditControllerEx1::connect (other);
	// The processor also sends its link when it is connected; asking covers
	// hosts that connect the controller second, or relay only later.
	if (result == kResultOk)
		sendInstanceMessage (*this, kLinkRequestMessage);
	return result;
}

tresult PLUGIN_API QuenrilEQController::disconnect (IConnectionPoint* other)
{
	const tresult result = EditControllerEx1::disconnect (other);
	if (result == kResultOk)
		linked = nullptr;
	return result;
}

bool QuenrilEQController::requestAudition (int band)
{
	const bool reached = sendInstanceMessage (*this, kAuditionMessage, kBandAttribute, band) == kResultOk;
	auditioning = reached && band >= 0;
	return reached;
}

tresult PLUGIN_API QuenrilEQController::notify (IMessage* message)
{
	if (message && FIDStringsEqual (message->getMessageID (), kInstanceLinkMessage))
	{
		linked = findInstance (messageInteger (message, kLinkIdAttribute, 0));
		return kResultOk;
	}
	if (!message || !FIDStringsEqual (message->getMessageID (), kLatencyChangedMessage))
		return EditControllerEx1::notify (message);
	IPtr<IComponentHandler> handler;
	{
		std::lock_guard<std::mutex> lock (handlerMutex);
		handler = componentHandler;
	}
	// Not under the lock: the host may take locks of its own here.
	if (handler)
		handler->restartComponent (kLatencyChanged);
	return kResultOk;
}

void QuenrilEQController::editorDestroyed (EditorView* /*editor*/)
{
	// A closed editor leaves no band soloed.
	if (auditioning)
		requestAudition (-1);
	if (parameterBindings)
		parameterBindings->DetachWebview ();
}

std::vector<std::string> QuenrilEQController::listPresets () const { return QuenrilEQ::listPresets (); }

bool QuenrilEQController::loadPresetByName (const std::string& name)
{
	return QuenrilEQ::loadPresetByName (*this, name);
}

bool QuenrilEQController::savePresetByName (const std::string& name)
{
	return QuenrilEQ::savePresetByName (*this, name);
}

bool QuenrilEQController::restoreCurrentState ()
{
	return QuenrilEQ::restoreCurrentState (*this, instanceNumber);
}

void QuenrilEQController::setClock (Clock newClock)
{
	clock = newClock ? std::move (newClock) : Clock (steadyNanoseconds);
}

double QuenrilEQController::presetValue (ParamId id) { return getParamNormalized (id); }

void QuenrilEQController::applyPresetValue (ParamId id, double value)
{
	setParamNormalized (id, value);
	// The host hears of every line, also of ids we do not know and with the
	// value as written, so the processor follows the file.
	beginEdit (id);
	performEdit (id, value);
	endEdit (id);
}

void QuenrilEQController::presetApplied () { saveCurrentState (true); }

void QuenrilEQController::saveCurrentState (bool force)
{
	if (!force)
	{
		const std::int64_t now = clock ();
		if (lastSaveTime && now - *lastSaveTime < kSaveIntervalNs)
			return;
		lastSaveTime = now;
	}
	const std::string path = currentStatePath (instanceNumber);
	if (path.empty ())
		return;
	writePresetFile (*this, path);  // a failed save leaves the previous file; nothing to report to
}

} // namespace QuenrilEQ
