#include "component_handler.h"

namespace QuenrilEQ {
namespace host {

using namespace Steinberg;
using namespace Steinberg::Vst;

IMPLEMENT_FUNKNOWN_METHODS (RecordingComponentHandler, IComponentHandler, IComponentHandler::iid)

RecordingComponentHandler::RecordingComponentHandler () { FUNKNOWN_CTOR }

void RecordingComponentHandler::record (const HandlerCall& call)
{
	std::lock_guard<std::mutex> lock (mutex_);
	calls_.push_back (call);
}

tresult PLUGIN_API RecordingComponentHandler::beginEdit (ParamID id)
{
	record ({HandlerCall::Kind::BeginEdit, id, 0, 0});
	return kResultOk;
}

tresult PLUGIN_API RecordingComponentHandler::performEdit (ParamID id, ParamValue valueNormalized)
{
	record ({HandlerCall::Kind::PerformEdit, id, valueNormalized, 0});
	return kResultOk;
}

tresult PLUGIN_API RecordingComponentHandler::endEdit (ParamID id)
{
	record ({HandlerCall::Kind::EndEdit, id, 0, 0});
	return kResultOk;
}

tresult PLUGIN_API RecordingComponentHandler::restartComponent (int32 flags)
{
	record ({HandlerCall::Kind::RestartComponent, 0, 0, flags});
	return kResultOk;
}

std::vector<HandlerCall> RecordingComponentHandler::calls () const
{
	std::lock_guard<std::mutex> lock (mutex_);
	return calls_;
}

void RecordingComponentHandler::clear ()
{
	std::lock_guard<std::mutex> lock (mutex_);
	calls_.clear ();
}

size_t RecordingComponentHandler::restartCount (int32 mask) const
{
	std::lock_guard<std::mutex> lock (mutex_);
	size_t count = 0;
	for (const auto& call : calls_)
		if (call.kind == HandlerCall::Kind::RestartComponent && (call.flags & mask) == mask)
			++count;
	return count;
}

} // namespace host
} // namespace QuenrilEQ
