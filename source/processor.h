// QuenrilEQProcessor: the audio component. Skeleton; filled in below.
#pragma once

#include "audioeffect.h"

namespace QuenrilEQ {

class QuenrilEQProcessor : public Steinberg::Vst::AudioEffect
{
public:
	QuenrilEQProcessor ();
	~QuenrilEQProcessor () override;

	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API process (Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;
};

} // namespace QuenrilEQ
