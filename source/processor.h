// QuenrilEQProcessor: the audio component. Applies the host's parameter
// changes, runs each block through the band filters ("Natural") or the
// linear-phase convolvers ("Linear"), and copies every output sample into
// the process-wide waveform rings.
#pragma once

#include "audio_state_lock.h"
#include "instance_link.h"
#include "latency_notice.h"
#include "param_value_map.h"

#include "audioeffect.h"
#include "audition_mixer.h"
#include "band_chain.h"
#include "eq_band.h"
#include "linear_phase_engine.h"

#include <array>
#include <atomic>
#include <memory>

namespace QuenrilEQ {

class QuenrilEQProcessor : public Steinberg::Vst::AudioEffect
{
public:
	QuenrilEQProcessor ();
	~QuenrilEQProcessor () override;

	// [host main thread]
	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API terminate () SMTG_OVERRIDE;
	/** The controller it is connected to hears of every change of the latency
	    this processor reports (see LatencyNotice), and gets the identifier of
	    this instance's capture (see InstanceShared). */
	Steinberg::tresult PLUGIN_API connect (Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API disconnect (Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;
	/** Link requests and band auditions from the controller. */
	Steinberg::tresult PLUGIN_API notify (Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API setBusArrangements (Steinberg::Vst::SpeakerArrangement* inputs,
	                                                  Steinberg::int32 numIns,
	                                                  Steinberg::Vst::SpeakerArrangement* outputs,
	                                                  Steinberg::int32 numOuts) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API canProcessSampleSize (Steinberg::int32 symbolicSampleSize) SMTG_OVERRIDE;
	Steinberg::uint32 PLUGIN_API getLatencySamples () SMTG_OVERRIDE;
	Steinberg::uint32 PLUGIN_API getTailSamples () SMTG_OVERRIDE { return 0; }
	// [any host thread; may overlap process, which then keeps running]
	Steinberg::tresult PLUGIN_API setupProcessing (Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API setState (Steinberg::IBStream* state) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API getState (Steinberg::IBStream* state) SMTG_OVERRIDE;
	// [audio thread] never blocks, allocates or logs
	Steinberg::tresult PLUGIN_API process (Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;

	OBJ_METHODS (QuenrilEQProcessor, AudioEffect)

private:
	/** [UI thread] no more latency notices to the controller. */
	void stopLatencyNotices ();

	// Everything below runs with the audio state held (see stateLock).
	void applyParameterChange (ParamId id, float value) noexcept;
	void rebuildBand (int index) noexcept;
	void applyHostChanges (Steinberg::Vst::IParameterChanges* changes, bool stateHeld) noexcept;
	void renderBlock (Steinberg::Vst::ProcessData& data) noexcept;
	void renderNaturalStereo (Steinberg::Vst::ProcessData& data, bool haveSidechain) noexcept;
	void renderPerChannel (Steinberg::Vst::ProcessData& data, int numChannels) noexcept;
	void updateReportedLatency () noexcept;
	void captureInputs (Steinberg::Vst::ProcessData& data, int numChannels) noexcept;
	void publishOutputs (Steinberg::Vst::ProcessData& data, int numChannels) noexcept;

	BandBank bank;
	LinearPhaseEngine engine;
	bool linearMode = false;
	double rebuildAccumulator = 0.0;  // samples processed in linear mode since the last engine update
	double sampleRate = 48000.0;
	ParamValueMap values;

	AudioStateLock stateLock;
	PendingChanges heldChanges;  // [audio thread only] changes that arrived while the state was busy
	std::atomic<Steinberg::uint32> reportedLatency {0};
	const std::shared_ptr<LatencyNotice> latencyNotice = std::make_shared<LatencyNotice> ();
	// Shared with this instance's controller; allocated here, written only by
	// the audio thread.
	const std::shared_ptr<InstanceShared> shared = std::make_shared<InstanceShared> ();
	const InstanceRegistration registration {shared};
	AuditionMixer audition;

	// Scratch for converting host floats to the double-precision chain; the
	// processor works through a block in chunks of the natural block path's size.
	static constexpr int kChunk = kBlockChunkFrames;
	std::array<double, kChunk> left {}, right {}, scLeft {}, scRight {};
};

} // namespace QuenrilEQ
