#include "parameter_changes.h"

#include <algorithm>

namespace QuenrilEQ {
namespace host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
template <typename Interface>
tresult answerQuery (Interface* self, const TUID iid, void** obj)
{
	if (FUnknownPrivate::iidEqual (iid, Interface::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
	{
		*obj = self;
		return kResultOk;
	}
	*obj = nullptr;
	return kNoInterface;
}
} // namespace

void ParamValueQueue::reset (ParamID id)
{
	id_ = id;
	points_.clear ();
}

int32 PLUGIN_API ParamValueQueue::getPointCount ()
{
	return static_cast<int32> (points_.size ());
}

tresult PLUGIN_API ParamValueQueue::getPoint (int32 index, int32& sampleOffset, ParamValue& value)
{
	if (index < 0 || index >= getPointCount ())
		return kInvalidArgument;
	sampleOffset = points_[static_cast<size_t> (index)].offset;
	value = points_[static_cast<size_t> (index)].value;
	return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint (int32 sampleOffset, ParamValue value, int32& index)
{
	auto at = std::lower_bound (points_.begin (), points_.end (), sampleOffset,
	                            [] (const Point& p, int32 offset) { return p.offset < offset; });
	if (at != points_.end () && at->offset == sampleOffset)
		at->value = value;
	else
		at = points_.insert (at, Point {sampleOffset, value}); // allocates only past the reserved size
	index = static_cast<int32> (at - points_.begin ());
	return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::queryInterface (const TUID iid, void** obj)
{
	return answerQuery<IParamValueQueue> (this, iid, obj);
}

void ParameterChanges::reserve (size_t count)
{
	while (queues_.size () < count)
		queues_.push_back (std::make_unique<ParamValueQueue> ());
}

void ParameterChanges::add (ParamID id, int32 sampleOffset, ParamValue value)
{
	int32 index = 0;
	if (auto* queue = addParameterData (id, index))
		queue->addPoint (sampleOffset, value, index);
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData (int32 index)
{
	if (index < 0 || static_cast<size_t> (index) >= used_)
		return nullptr;
	return queues_[static_cast<size_t> (index)].get ();
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData (const ParamID& id, int32& index)
{
	for (size_t i = 0; i < used_; ++i)
	{
		if (queues_[i]->getParameterId () == id)
		{
			index = static_cast<int32> (i);
			return queues_[i].get ();
		}
	}
	reserve (used_ + 1);
	queues_[used_]->reset (id);
	index = static_cast<int32> (used_);
	return queues_[used_++].get ();
}

tresult PLUGIN_API ParameterChanges::queryInterface (const TUID iid, void** obj)
{
	return answerQuery<IParameterChanges> (this, iid, obj);
}

} // namespace host
} // namespace QuenrilEQ
