// Registers the parameter table with the SDK's parameter classes.
#pragma once

#include "public.sdk/source/vst/vstparameters.h"

namespace QuenrilEQ {

/** Adds the 314 parameters in registration order. [UI thread] */
void registerParameters (Steinberg::Vst::ParameterContainer& container);

} // namespace QuenrilEQ
