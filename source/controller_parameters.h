// Registers the parameter table with the SDK's parameter classes.
#pragma once

#include "public.sdk/source/vst/vstparameters.h"

namespace QuenrilEQ {

/** Adds the 314 parameters in registration order: continuous parameters and
    toggles as SDK Parameters (flags kCanAutomate, units), lists as SDK
    StringListParameters (flags kCanAutomate | kIsList, no units), each with
    its exact default normalised value. [UI thread] */
void registerParameters (Steinberg::Vst::ParameterContainer& container);

} // namespace QuenrilEQ
