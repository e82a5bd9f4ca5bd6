#include "processor.h"
#include "plugids.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace QuenrilEQ {

QuenrilEQProcessor::QuenrilEQProcessor () { setControllerClass (kControllerUID); }
QuenrilEQProcessor::~QuenrilEQProcessor () = default;

tresult PLUGIN_API QuenrilEQProcessor::initialize (FUnknown* context)
{
	if (AudioEffect::initialize (context) != kResultOk)
		return kResultFalse;
	addAudioInput (STR16 ("Stereo In"), SpeakerArr::kStereo);
	addAudioOutput (STR16 ("Stereo Out"), SpeakerArr::kStereo);
	addAudioInput (STR16 ("Sidechain"), SpeakerArr::kStereo, kAux, 0);
	return kResultOk;
}

tresult PLUGIN_API QuenrilEQProcessor::process (ProcessData& data) { return kResultOk; }

} // namespace QuenrilEQ
