#include "parameter_object.h"

#include "utf.h"

namespace webbridge {

using nlohmann::json;
using Steinberg::Vst::Parameter;
using Steinberg::Vst::RangeParameter;

namespace {

constexpr std::size_t kString128 = 128;

std::string title(const Steinberg::Vst::String128 text) {
  return utf16ToUtf8(reinterpret_cast<const char16_t*>(text), kString128);
}

json unitsField(const Steinberg::Vst::String128 units) {
  // The page gets the field as stored, not as a string: some hosts' units
  // carry data after the terminating zero, and the page may want it.
  json codes = json::array();
  for (std::size_t i = 0; i < kString128; ++i)
    codes.push_back(static_cast<unsigned>(static_cast<std::uint16_t>(units[i])));
  return codes;
}

}  // namespace

json parameterObject(Parameter& parameter) {
  const Steinberg::Vst::ParameterInfo& info = parameter.getInfo();
  json object = json::object();
  object["normalized"] = parameter.getNormalized();
  object["precision"] = parameter.getPrecision();
  object["unitID"] = parameter.getUnitID();
  object["info"] = {
      {"id", static_cast<std::uint32_t>(info.id)},
      {"title", title(info.title)},
      {"shortTitle", title(info.shortTitle)},
      {"units", unitsField(info.units)},
      {"stepCount", info.stepCount},
      {"defaultNormalizedValue", info.defaultNormalizedValue},
      {"flags", info.flags},
  };
  // Exact class test: a class derived from RangeParameter is not one here.
  const bool isRange = parameter.isA(RangeParameter::getFClassID());
  object["isRangeParameter"] = isRange;
  if (isRange) {
    auto& range = static_cast<RangeParameter&>(parameter);
    object["min"] = range.getMin();
    object["max"] = range.getMax();
  }
  return object;
}

}  // namespace webbridge
