#include "processor.h"

#include "denormal_guard.h"
#include "plugids.h"
#include "processor_state.h"
#include "waveform_ring.h"

#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace QuenrilEQ {

namespace {
constexpr double kRebuildPeriodSeconds = 0.02;

template <typename T>
T atLeast (T value, T floor)
{
	return value < floor ? floor : value;
}

/** The host's 32-bit sample for one of ours. Settings in range can still ask for
    more than a float holds (resonant cuts stacked on one frequency gain hundreds
    of dB each), so values beyond the float range saturate at +-FLT_MAX and a NaN
    becomes silence: the host never receives an infinity or a NaN. [audio thread] */
inline float toHostSample (double x) noexcept
{
	constexpr double kLimit = std::numeric_limits<float>::max ();
	return x != x ? 0.0f : static_cast<float> (std::clamp (x, -kLimit, kLimit));
}

/** toHostSample over samples already in float (the convolver writes them). */
void limitToHostRange (float* out, int n) noexcept
{
	for (int i = 0; i < n; ++i)
		out[i] = toHostSample (out[i]);
}
} // namespace

QuenrilEQProcessor::QuenrilEQProcessor ()
{
	setControllerClass (kControllerUID);
}

QuenrilEQProcessor::~QuenrilEQProcessor () { stopLatencyNotices (); }

void QuenrilEQProcessor::stopLatencyNotices ()
{
	LatencyCourier::instance ().unwatch (latencyNotice.get ());
	latencyNotice->setPeer (nullptr, nullptr);
}

tresult PLUGIN_API QuenrilEQProcessor::terminate ()
{
	stopLatencyNotices ();
	return AudioEffect::terminate ();
}

tresult PLUGIN_API QuenrilEQProcessor::connect (IConnectionPoint* other)
{
	const tresult result = AudioEffect::connect (other);
	if (result == kResultOk)
	{
		latencyNotice->setPeer (other, hostContext);
		LatencyCourier::instance ().watch (latencyNotice);
		sendInstanceMessage (*this, kInstanceLinkMessage, kLinkIdAttribute, registration.id ());
	}
	return result;
}

tresult PLUGIN_API QuenrilEQProcessor::notify (IMessage* message)
{
	if (!message)
		return kInvalidArgument;
	if (FIDStringsEqual (message->getMessageID (), kLinkRequestMessage))
		return sendInstanceMessage (*this, kInstanceLinkMessage, kLinkIdAttribute, registration.id ());
	if (FIDStringsEqual (message->getMessageID (), kAuditionMessage))
	{
		const int64 band = messageInteger (message, kBandAttribute, -1);
		audition.request (band >= 0 && band < kNumBands ? static_cast<int> (band) : -1);
		return kResultOk;
	}
	return AudioEffect::notify (message);
}

tresult PLUGIN_API QuenrilEQProcessor::disconnect (IConnectionPoint* other)
{
	const tresult result = AudioEffect::disconnect (other);
	if (result == kResultOk)
		stopLatencyNotices ();
	return result;
}

tresult PLUGIN_API QuenrilEQProcessor::initialize (FUnknown* context)
{
	if (AudioEffect::initialize (context) != kResultOk)
		return kResultFalse;
	addAudioInput (STR16 ("Stereo In"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
	addAudioOutput (STR16 ("Stereo Out"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
	addAudioInput (STR16 ("Sidechain"), SpeakerArr::kStereo, kAux, 0);

	// Defaults are stored without acting on them: setupProcessing designs the bands.
	AudioStateScope scope (stateLock);
	for (const ParamSpec& param : parameterTable ())
		values.set (param.id, static_cast<float> (param.defaultNormalized));
	return kResultOk;
}

tresult PLUGIN_API QuenrilEQProcessor::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                           SpeakerArrangement* outputs, int32 numOuts)
{
	const bool stereoOut = numOuts == 1 && outputs && outputs[0] == SpeakerArr::kStereo;
	const bool stereoIn = (numIns == 1 || numIns == 2) && inputs && inputs[0] == SpeakerArr::kStereo &&
	                      (numIns == 1 || inputs[1] == SpeakerArr::kStereo);
	if (!stereoOut || !stereoIn)
		return kResultFalse;
	return AudioEffect::setBusArrangements (inputs, numIns, outputs, numOuts);
}

tresult PLUGIN_API QuenrilEQProcessor::canProcessSampleSize (int32 symbolicSampleSize)
{
	return symbolicSampleSize == kSample32 ? kResultOk : kResultFalse;
}

uint32 PLUGIN_API QuenrilEQProcessor::getLatencySamples ()
{
	return reportedLatency.load ();
}

tresult PLUGIN_API QuenrilEQProcessor::setupProcessing (ProcessSetup& setup)
{
	const tresult result = AudioEffect::setupProcessing (setup);
	// A rate the filters cannot be designed at keeps the previous one.
	const double rate = std::isfinite (setup.sampleRate) && setup.sampleRate > 0.0 ? setup.sampleRate
	                                                                                : sampleRate;
	AudioStateScope scope (stateLock);
	sampleRate = rate;
	bank.sampleRate = rate;
	for (EqBand& band : bank.bands)
		resetBandState (band);
	engine.setSampleRate (rate);
	for (int i = 0; i < kNumBands; ++i)
		rebuildBand (i);
	waveformRing (0).sampleRate.store (rate);
	waveformRing (1).sampleRate.store (rate);
	shared->capture.setSampleRate (rate);
	return result;
}

tresult PLUGIN_API QuenrilEQProcessor::setState (IBStream* state)
{
	// Read the host's stream first, then apply it in one short hold of the state.
	std::array<std::pair<ParamId, float>, kNumParameters> read;
	int count = 0;
	readProcessorState (state, [&] (ParamId id, float value) {
		if (count < kNumParameters)
			read[static_cast<size_t> (count++)] = {id, value};
	});
	if (count == 0)
		return kResultOk;
	AudioStateScope scope (stateLock);
	for (int i = 0; i < count; ++i)
		applyParameterChange (read[static_cast<size_t> (i)].first, read[static_cast<size_t> (i)].second);
	return kResultOk;
}

tresult PLUGIN_API QuenrilEQProcessor::getState (IBStream* state)
{
	ParamValueMap snapshot;
	{
		AudioStateScope scope (stateLock);
		snapshot = values;
	}
	writeProcessorState (state, snapshot);
	return kResultOk;
}

//------------------------------------------------------------------------
// Parameters

void QuenrilEQProcessor::applyParameterChange (ParamId id, float value) noexcept
{
	values.set (id, value);
	if (id == kPhaseModeId)
	{
		linearMode = toggleOn (value);
		if (linearMode)
			engine.markDirty ();
		updateReportedLatency ();
		return;
	}
	if (id == kLinearLatencyId)
	{
		engine.setKernelLength (kernelLengthForIndex (listIndex (value, 3)));
		updateReportedLatency ();
		return;
	}
	int band = 0;
	int field = 0;
	if (decodeBandParamId (id, band, field))
		rebuildBand (band);
}

void QuenrilEQProcessor::rebuildBand (int index) noexcept
{
	EqBand& band = bank.bands[static_cast<size_t> (index)];
	auto value = [&] (int field) { return values.get (bandParamId (index, field)); };

	band.enabled = toggleOn (value (kFieldEnabled));
	const int shape = listIndex (value (kFieldShape), kNumBandShapes - 1);
	const int slope = listIndex (value (kFieldSlope), kNumSlopes - 1);
	const int channel = listIndex (value (kFieldChannel), 4);
	const bool dynamics = toggleOn (value (kFieldDynamicsEnabled));

	designBand (band, shape, freqFromNormalized (value (kFieldFreq)), gainFromNormalized (value (kFieldGain)),
	            qFromNormalized (value (kFieldQ)), slope, bank.sampleRate);

	// Only a new target or switching dynamics clears the band's running state.
	if (channel != band.channel)
	{
		band.channel = channel;
		resetBandState (band);
	}
	if (dynamics != band.dynamicsEnabled)
	{
		band.dynamicsEnabled = dynamics;
		resetBandState (band);
	}
	band.threshold = thresholdFromNormalized (value (kFieldThreshold));
	band.ratio = atLeast (ratioFromNormalized (value (kFieldRatio)), 1.0);
	band.attack = atLeast (attackFromNormalized (value (kFieldAttack)), 0.1);
	band.release = atLeast (releaseFromNormalized (value (kFieldRelease)), 0.1);
	band.sidechainSource = listIndex (value (kFieldSidechainSource), 1);
	updateTimeConstants (band);
	engine.markDirty ();
}

void QuenrilEQProcessor::updateReportedLatency () noexcept
{
	const uint32 latency = linearMode ? static_cast<uint32> (engine.latencySamples ()) : 0u;
	if (reportedLatency.exchange (latency) != latency)
		latencyNotice->post (latency);
}

void QuenrilEQProcessor::applyHostChanges (IParameterChanges* changes, bool stateHeld) noexcept
{
	if (stateHeld)
		heldChanges.drain ([this] (ParamId id, float value) { applyParameterChange (id, value); });
	if (!changes)
		return;
	const int32 queues = changes->getParameterCount ();
	for (int32 i = 0; i < queues; ++i)
	{
		IParamValueQueue* queue = changes->getParameterData (i);
		if (!queue)
			continue;
		const int32 points = queue->getPointCount ();
		int32 offset = 0;
		ParamValue value = 0.0;
		// Only the last point counts; it acts from the start of the block.
		if (points <= 0 || queue->getPoint (points - 1, offset, value) != kResultOk)
			continue;
		if (stateHeld)
			applyParameterChange (queue->getParameterId (), static_cast<float> (value));
		else
			heldChanges.record (queue->getParameterId (), static_cast<float> (value));
	}
}

//------------------------------------------------------------------------
// Audio

namespace {
bool channelsValid (const AudioBusBuffers& bus, int numChannels)
{
	if (!bus.channelBuffers32)
		return false;
	for (int c = 0; c < numChannels; ++c)
		if (!bus.channelBuffers32[c])
			return false;
	return true;
}

int usableChannels (const ProcessData& data)
{
	if (!data.inputs || !data.outputs)
		return 0;
	const int n = std::min (data.inputs[0].numChannels, data.outputs[0].numChannels);
	if (n <= 0 || !channelsValid (data.inputs[0], n) || !channelsValid (data.outputs[0], n))
		return 0;
	return n;
}

void copyThrough (ProcessData& data, int numChannels)
{
	for (int c = 0; c < numChannels; ++c)
	{
		const float* in = data.inputs[0].channelBuffers32[c];
		float* out = data.outputs[0].channelBuffers32[c];
		if (in != out)
			std::memcpy (out, in, sizeof (float) * static_cast<size_t> (data.numSamples));
	}
}

/** The side-chain bus's first two channels (one channel counts for both), or nulls. */
std::pair<const float*, const float*> sidechainOf (const ProcessData& data)
{
	if (data.numInputs < 2 || data.inputs[1].numChannels < 1 || !data.inputs[1].channelBuffers32)
		return {nullptr, nullptr};
	const float* l = data.inputs[1].channelBuffers32[0];
	const float* r = data.inputs[1].numChannels >= 2 ? data.inputs[1].channelBuffers32[1] : l;
	return l && r ? std::make_pair (l, r) : std::make_pair (nullptr, nullptr);
}
} // namespace

tresult PLUGIN_API QuenrilEQProcessor::process (ProcessData& data)
{
	DenormalGuard denormals;
	const bool stateHeld = stateLock.tryLock ();
	applyHostChanges (data.inputParameterChanges, stateHeld);
	if (data.numInputs == 0 || data.numOutputs == 0 || data.numSamples < 1 ||
	    data.symbolicSampleSize != kSample32)
	{
		if (stateHeld)
			stateLock.unlock ();
		return kResultOk;
	}
	const int numChannels = usableChannels (data);
	captureInputs (data, numChannels);
	if (stateHeld)
	{
		renderBlock (data);
		if (numChannels > 0)
		{
			float* const* out = data.outputs[0].channelBuffers32;
			if (audition.process (bank, out[0], numChannels >= 2 ? out[1] : nullptr, data.numSamples, sampleRate))
				for (int c = 0; c < std::min (numChannels, 2); ++c)
					limitToHostRange (out[c], data.numSamples);
		}
		shared->capture.publishBands (bank);
		stateLock.unlock ();
	}
	else
	{
		// setState or setupProcessing is rewriting the bands on another thread:
		// this one block goes through dry rather than waiting for them.
		copyThrough (data, numChannels);
	}
	publishOutputs (data, numChannels);
	return kResultOk;
}

void QuenrilEQProcessor::captureInputs (ProcessData& data, int numChannels) noexcept
{
	if (numChannels == 0)
		return;
	InstanceCapture& capture = shared->capture;
	const int n = data.numSamples;
	float* const* in = data.inputs[0].channelBuffers32;
	capture.write (InstanceCapture::kPre, in[0], in[numChannels >= 2 ? 1 : 0], n);
	const auto [scLeft, scRight] = sidechainOf (data);
	if (scLeft)
		capture.write (InstanceCapture::kSidechain, scLeft, scRight, n);
	else
		capture.writeSilence (InstanceCapture::kSidechain, n);
}

void QuenrilEQProcessor::publishOutputs (ProcessData& data, int numChannels) noexcept
{
	if (numChannels == 0)
		return;
	float* const* out = data.outputs[0].channelBuffers32;
	for (int c = 0; c < numChannels; ++c)
		pushSamples (waveformRing (c), out[c], data.numSamples);
	InstanceCapture& capture = shared->capture;
	capture.write (InstanceCapture::kPost, out[0], out[numChannels >= 2 ? 1 : 0], data.numSamples);
	capture.publish (data.numSamples);
}

void QuenrilEQProcessor::renderBlock (ProcessData& data) noexcept
{
	if (linearMode)
	{
		rebuildAccumulator += data.numSamples;
		if (rebuildAccumulator >= sampleRate * kRebuildPeriodSeconds)
		{
			rebuildAccumulator = 0.0;
			engine.update (bank.bands);
		}
	}
	const int numChannels = usableChannels (data);
	if (numChannels == 0)
		return;
	data.outputs[0].silenceFlags = 0;
	const bool haveSidechain = data.numInputs >= 2 && data.inputs[1].numChannels >= 2 &&
	                           data.inputs[1].channelBuffers32 && data.inputs[1].channelBuffers32[0] &&
	                           data.inputs[1].channelBuffers32[1];
	if (!linearMode && numChannels >= 2)
		renderNaturalStereo (data, haveSidechain);
	else
		renderPerChannel (data, numChannels);
}

void QuenrilEQProcessor::renderNaturalStereo (ProcessData& data, bool haveSidechain) noexcept
{
	float* const* in = data.inputs[0].channelBuffers32;
	float* const* out = data.outputs[0].channelBuffers32;
	float* const* sc = haveSidechain ? data.inputs[1].channelBuffers32 : nullptr;
	for (int start = 0; start < data.numSamples; start += kChunk)
	{
		const int n = std::min (kChunk, data.numSamples - start);
		for (int s = 0; s < n; ++s)
		{
			left[s] = in[0][start + s];
			right[s] = in[1][start + s];
		}
		if (sc)
		{
			for (int s = 0; s < n; ++s)
			{
				scLeft[s] = sc[0][start + s];
				scRight[s] = sc[1][start + s];
			}
		}
		processStereoBlock (bank, left.data (), right.data (), sc ? scLeft.data () : nullptr,
		                    sc ? scRight.data () : nullptr, n);
		for (int s = 0; s < n; ++s)
		{
			out[0][start + s] = toHostSample (left[s]);
			out[1][start + s] = toHostSample (right[s]);
		}
	}
	const int numChannels = std::min (data.inputs[0].numChannels, data.outputs[0].numChannels);
	for (int c = 2; c < numChannels; ++c)
		if (in[c] != out[c])
			std::memcpy (out[c], in[c], sizeof (float) * static_cast<size_t> (data.numSamples));
}

void QuenrilEQProcessor::renderPerChannel (ProcessData& data, int numChannels) noexcept
{
	for (int c = 0; c < numChannels; ++c)
	{
		const float* in = data.inputs[0].channelBuffers32[c];
		float* out = data.outputs[0].channelBuffers32[c];
		if (linearMode)
		{
			engine.processBlock (c, in, out, data.numSamples);
			limitToHostRange (out, data.numSamples);
		}
		else
		{
			// One channel in natural mode: every enabled band, filter set 0, no routing.
			for (int start = 0; start < data.numSamples; start += kChunk)
			{
				const int n = std::min (kChunk, data.numSamples - start);
				for (int s = 0; s < n; ++s)
					left[s] = in[start + s];
				processMonoBlock (bank, left.data (), n);
				for (int s = 0; s < n; ++s)
					out[start + s] = toHostSample (left[s]);
			}
		}
	}
}

} // namespace QuenrilEQ
