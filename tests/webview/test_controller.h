// A small generic edit controller and a message peer for the parameter
// binding tests: the bridge must work on any controller, not only ours.
#pragma once

#include <vector>

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

namespace qeqtest {

/// A RangeParameter subclass: the page must not see it as a range parameter.
class DerivedRange : public Steinberg::Vst::RangeParameter {
 public:
  using RangeParameter::RangeParameter;
  OBJ_METHODS(DerivedRange, RangeParameter)
};

/// Parameters: 1 "Gain" (plain, units "dB", short title "Gn", default 0.5),
/// 3 "Mode" (list A/B/C), 7 "Freq" (range -10..10 Hz, default 0),
/// 40 "Odd" (DerivedRange 0..100).
class TestController : public Steinberg::Vst::EditControllerEx1 {
 public:
  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override {
    const Steinberg::tresult result = EditControllerEx1::initialize(context);
    if (result != Steinberg::kResultOk) return result;
    parameters.addParameter(new Steinberg::Vst::Parameter(u"Gain", 1, u"dB", 0.5, 0,
                                                          Steinberg::Vst::ParameterInfo::kCanAutomate,
                                                          Steinberg::Vst::kRootUnitId, u"Gn"));
    auto* mode = new Steinberg::Vst::StringListParameter(u"Mode", 3);
    for (const char16_t* entry : {u"A", u"B", u"C"}) mode->appendString(entry);
    parameters.addParameter(mode);
    parameters.addParameter(new Steinberg::Vst::RangeParameter(u"Freq", 7, u"Hz", -10.0, 10.0, 0.0));
    parameters.addParameter(new DerivedRange(u"Odd", 40, nullptr, 0.0, 100.0, 50.0));
    return Steinberg::kResultOk;
  }
};

/// The processor's side of the connection: keeps every message that arrives.
class RecordingPeer : public Steinberg::FObject, public Steinberg::Vst::IConnectionPoint {
 public:
  std::vector<Steinberg::IPtr<Steinberg::Vst::IMessage>> received;

  Steinberg::tresult PLUGIN_API connect(IConnectionPoint*) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API disconnect(IConnectionPoint*) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override {
    received.emplace_back(message);
    return Steinberg::kResultOk;
  }

  OBJ_METHODS(RecordingPeer, FObject)
  DEFINE_INTERFACES
    DEF_INTERFACE(IConnectionPoint)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)
};

}  // namespace qeqtest
