// QuenrilEQController: the edit controller. Owns the host-visible parameters.
#pragma once

#include "public.sdk/source/vst/vsteditcontroller.h"

namespace QuenrilEQ {

class QuenrilEQController : public Steinberg::Vst::EditControllerEx1
{
public:
	QuenrilEQController ();
	~QuenrilEQController () override;

	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) SMTG_OVERRIDE;

	OBJ_METHODS (QuenrilEQController, EditControllerEx1)
};

} // namespace QuenrilEQ
