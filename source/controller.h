// QuenrilEQController: the edit controller. Owns the host-visible parameters,
// follows the processor's state through the host, keeps the page's A/B and
// history data, and saves every instance's current settings to its
// current-state file. All of it runs on the host's UI thread, but for notify.
#pragma once

#include "preset_files.h"

#include "public.sdk/source/vst/vsteditcontroller.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace webbridge {
class WebviewControllerBindings;
}

namespace QuenrilEQ {

class AnalysisBindings;
class EqBindings;
class PresetBindings;
struct InstanceShared;

class QuenrilEQController : public Steinberg::Vst::EditControllerEx1, public PresetTarget
{
public:
	/** Monotonic clock in nanoseconds; replaceable for tests of the save throttle. */
	using Clock = std::function<std::int64_t ()>;

	QuenrilEQController ();
	~QuenrilEQController () override;

	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API terminate () SMTG_OVERRIDE;
	/** The page of a closed editor no longer receives parameter changes. */
	void editorDestroyed (Steinberg::Vst::EditorView* editor) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API getParameterInfo (Steinberg::int32 paramIndex,
	                                                Steinberg::Vst::ParameterInfo& info) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API setComponentState (Steinberg::IBStream* state) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API setState (Steinberg::IBStream* state) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API getState (Steinberg::IBStream* state) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API setParamNormalized (Steinberg::Vst::ParamID tag,
	                                                  Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API setComponentHandler (Steinberg::Vst::IComponentHandler* handler) SMTG_OVERRIDE;
	/** The processor's latency changed: asks the host to re-read it. Arrives
	    on the processor's notice thread (or wherever the host relays it).
	    The processor's instance link arrives here too. */
	Steinberg::tresult PLUGIN_API notify (Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
	/** Asks the processor for its instance link. */
	Steinberg::tresult PLUGIN_API connect (Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API disconnect (Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;

	/** This instance's processor's shared capture, or null when there is no
	    link (no connection, or the processor lives in another process). [UI thread] */
	std::shared_ptr<InstanceShared> instanceLink () const { return linked; }
	/** Asks the processor to audition a band (0-based; -1 ends); true when the
	    request reached it. [UI thread] */
	bool requestAudition (int band);
	/** "editor": a new 1400 x 900 web view sharing this controller's binding sets; null for other names. */
	Steinberg::IPlugView* PLUGIN_API createView (Steinberg::FIDString name) SMTG_OVERRIDE;

	//--- for the page's preset functions [UI thread]
	std::vector<std::string> listPresets () const;
	bool loadPresetByName (const std::string& name);
	bool savePresetByName (const std::string& name);
	bool restoreCurrentState ();

	/** Which A/B slot the page shows; opaque here, saved with the project. */
	Steinberg::int32 getAbActiveSlot () const { return abActiveSlot; }
	void setAbActiveSlot (Steinberg::int32 slot) { abActiveSlot = slot; }
	/** The page's serialised inactive A/B slot; opaque here, saved with the project. */
	const std::string& getAbInactiveSlotText () const { return abInactiveSlotText; }
	void setAbInactiveSlotText (std::string text) { abInactiveSlotText = std::move (text); }
	/** The page's serialised undo history; lives as long as this controller, never saved. */
	const std::string& getHistoryText () const { return historyText; }
	void setHistoryText (std::string text) { historyText = std::move (text); }

	/** Number naming this instance's current-state file: 1 for the first controller of the process. */
	std::uint64_t getInstanceNumber () const { return instanceNumber; }
	void setClock (Clock clock);

	//--- PresetTarget
	double presetValue (ParamId id) override;
	void applyPresetValue (ParamId id, double value) override;
	void presetApplied () override;

	/** Hosts may drop references on other threads than the UI thread, and the
	    processor's latency notices hold one while they travel: the count is
	    atomic throughout (the SDK's re-reads it unguarded after decrementing). */
	Steinberg::uint32 PLUGIN_API addRef () SMTG_OVERRIDE { return ++references; }
	Steinberg::uint32 PLUGIN_API release () SMTG_OVERRIDE
	{
		const Steinberg::uint32 left = --references;
		if (left == 0)
			delete this;
		return left;
	}

	OBJ_METHODS (QuenrilEQController, EditControllerEx1)

private:
	/** Writes the current-state file; without force at most once per 200 ms
	    of changes (a change inside the window is not saved later). */
	void saveCurrentState (bool force);

	// The page's functions: created at the first editor, shared by every view.
	std::unique_ptr<webbridge::WebviewControllerBindings> parameterBindings;
	std::unique_ptr<EqBindings> eqBindings;
	std::unique_ptr<PresetBindings> presetBindings;
	std::unique_ptr<AnalysisBindings> analysisBindings;
	std::shared_ptr<InstanceShared> linked;
	bool auditioning = false;  // a band audition was requested and not ended

	std::atomic<Steinberg::uint32> references {1};
	/** Guards componentHandler where notify, on another thread, reads it. */
	std::mutex handlerMutex;
	bool restoring = false;  // set while the processor's values are applied
	std::optional<std::int64_t> lastSaveTime;  // ns of the clock; empty before the first throttled save
	Clock clock;
	const std::uint64_t instanceNumber;
	Steinberg::int32 abActiveSlot = 0;
	std::string abInactiveSlotText;
	std::string historyText;
	const std::string title {"QuenrilEQ"};
};

} // namespace QuenrilEQ
