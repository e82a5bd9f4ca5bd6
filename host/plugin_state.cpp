// PluginInstance: state streams and the controller's parameters.
#include "plugin_instance.h"

#include "text.h"

#include "public.sdk/source/common/memorystream.h"

namespace QuenrilEQ {
namespace host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
std::vector<char> bytesOf (MemoryStream& stream)
{
	const char* data = stream.getData ();
	return data ? std::vector<char> (data, data + stream.getSize ()) : std::vector<char> ();
}

// A read-only view of the caller's bytes; the stream never writes to them.
IPtr<MemoryStream> streamOver (const std::vector<char>& bytes)
{
	return owned (new MemoryStream (const_cast<char*> (bytes.data ()), static_cast<TSize> (bytes.size ())));
}
} // namespace

tresult PluginInstance::getState (std::vector<char>& bytes) const
{
	auto stream = owned (new MemoryStream ());
	tresult result = component_->getState (stream);
	bytes = bytesOf (*stream);
	return result;
}

tresult PluginInstance::setState (const std::vector<char>& bytes)
{
	return component_->setState (streamOver (bytes));
}

tresult PluginInstance::getControllerState (std::vector<char>& bytes) const
{
	bytes.clear ();
	if (!controller_)
		return kNotImplemented;
	auto stream = owned (new MemoryStream ());
	tresult result = controller_->getState (stream);
	bytes = bytesOf (*stream);
	return result;
}

tresult PluginInstance::setControllerState (const std::vector<char>& bytes)
{
	return controller_ ? controller_->setState (streamOver (bytes)) : kNotImplemented;
}

tresult PluginInstance::setComponentStateOnController (const std::vector<char>& bytes)
{
	return controller_ ? controller_->setComponentState (streamOver (bytes)) : kNotImplemented;
}

tresult PluginInstance::syncControllerToProcessor ()
{
	if (!controller_ || singleComponent_)
		return kNotImplemented;
	std::vector<char> bytes;
	tresult result = getState (bytes);
	if (result != kResultOk)
		return result;
	return setComponentStateOnController (bytes);
}

std::vector<ParameterRecord> PluginInstance::parameters () const
{
	std::vector<ParameterRecord> records;
	if (!controller_)
		return records;
	const int32 count = controller_->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		ParameterInfo info {};
		if (controller_->getParameterInfo (i, info) != kResultOk)
			continue;
		ParameterRecord record;
		record.id = info.id;
		record.title = toUtf8 (info.title);
		record.shortTitle = toUtf8 (info.shortTitle);
		record.units = toUtf8 (info.units);
		record.stepCount = info.stepCount;
		record.defaultNormalizedValue = info.defaultNormalizedValue;
		record.unitId = info.unitId;
		record.flags = info.flags;
		records.push_back (record);
	}
	return records;
}

std::string PluginInstance::paramString (ParamID id, ParamValue normalized) const
{
	String128 text {};
	if (!controller_ || controller_->getParamStringByValue (id, normalized, text) != kResultOk)
		return {};
	return toUtf8 (text);
}

tresult PluginInstance::setParamNormalized (ParamID id, ParamValue normalized)
{
	return controller_ ? controller_->setParamNormalized (id, normalized) : kNotImplemented;
}

ParamValue PluginInstance::getParamNormalized (ParamID id) const
{
	return controller_ ? controller_->getParamNormalized (id) : 0.0;
}

} // namespace host
} // namespace QuenrilEQ
