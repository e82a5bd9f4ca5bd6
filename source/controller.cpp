#include "controller.h"

#include "controller_parameters.h"

using namespace Steinberg;

namespace QuenrilEQ {

QuenrilEQController::QuenrilEQController () = default;
QuenrilEQController::~QuenrilEQController () = default;

tresult PLUGIN_API QuenrilEQController::initialize (FUnknown* context)
{
	tresult result = EditControllerEx1::initialize (context);
	if (result != kResultOk)
		return result;
	registerParameters (parameters);
	return kResultOk;
}

} // namespace QuenrilEQ
