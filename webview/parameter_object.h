// The JSON description of one SDK parameter that the page receives
// ("ParameterObject"): value, precision, unit, info block and range.
#pragma once

#include <nlohmann/json.hpp>

#include "public.sdk/source/vst/vstparameters.h"

namespace webbridge {

/// Describes `parameter` as the page sees it:
/// {"info": {...}, "isRangeParameter", "normalized", "precision", "unitID"}
/// plus "min"/"max" (plain values) when the object's own class is exactly
/// the SDK's RangeParameter. Titles become UTF-8 strings; "units" stays the
/// raw 128 UTF-16 code units of the field, zeros included. [UI thread]
nlohmann::json parameterObject(Steinberg::Vst::Parameter& parameter);

}  // namespace webbridge
