#include "pluginfactory.h"

#include <cstring>

namespace Steinberg {

CPluginFactory::CPluginFactory (const PFactoryInfo& info) : factoryInfo (info) {}

CPluginFactory::~CPluginFactory () = default;

uint32 PLUGIN_API CPluginFactory::addRef ()
{
	return ++refCount;
}

uint32 PLUGIN_API CPluginFactory::release ()
{
	const uint32 remaining = --refCount;
	if (remaining == 0)
		delete this;
	return remaining;
}

tresult PLUGIN_API CPluginFactory::queryInterface (const TUID _iid, void** obj)
{
	QUERY_INTERFACE (_iid, obj, IPluginFactory::iid, IPluginFactory)
	QUERY_INTERFACE (_iid, obj, IPluginFactory2::iid, IPluginFactory2)
	QUERY_INTERFACE (_iid, obj, IPluginFactory3::iid, IPluginFactory3)
	QUERY_INTERFACE (_iid, obj, FUnknown::iid, IPluginFactory)
	*obj = nullptr;
	return kNoInterface;
}

bool CPluginFactory::registerClass (const PClassInfo2* info, FactoryCreateFunction createFunc,
                                    void* context)
{
	if (!info || !createFunc)
		return false;
	classes.push_back ({*info, createFunc, context});
	return true;
}

bool CPluginFactory::isClassRegistered (const FUID& cid) const
{
	for (const auto& entry : classes)
		if (FUnknownPrivate::iidEqual (entry.info.cid, cid.toTUID ()))
			return true;
	return false;
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo (PFactoryInfo* info)
{
	if (!info)
		return kInvalidArgument;
	*info = factoryInfo;
	return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses ()
{
	return static_cast<int32> (classes.size ());
}

tresult PLUGIN_API CPluginFactory::getClassInfo (int32 index, PClassInfo* info)
{
	if (!info || index < 0 || index >= countClasses ())
		return kInvalidArgument;
	const PClassInfo2& c = classes[index].info;
	*info = PClassInfo ();
	std::memcpy (info->cid, c.cid, sizeof (TUID));
	info->cardinality = c.cardinality;
	std::memcpy (info->category, c.category, sizeof (info->category));
	std::memcpy (info->name, c.name, sizeof (info->name));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2 (int32 index, PClassInfo2* info)
{
	if (!info || index < 0 || index >= countClasses ())
		return kInvalidArgument;
	*info = classes[index].info;
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode (int32 index, PClassInfoW* info)
{
	if (!info || index < 0 || index >= countClasses ())
		return kInvalidArgument;
	info->fromAscii (classes[index].info);
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance (FIDString cid, FIDString iid, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	*obj = nullptr;
	if (!cid || !iid)
		return kInvalidArgument;
	for (const auto& entry : classes)
	{
		if (!FUnknownPrivate::iidEqual (entry.info.cid, cid))
			continue;
		FUnknown* instance = entry.createFunc (entry.context);
		if (!instance)
			return kOutOfMemory;
		// The create function hands over its own reference; the caller gets
		// the one that queryInterface adds.
		tresult result = instance->queryInterface (iid, obj);
		instance->release ();
		if (result != kResultOk)
			*obj = nullptr;
		return result == kResultOk ? kResultOk : kNoInterface;
	}
	return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext (FUnknown* /*context*/)
{
	return kNotImplemented;
}

} // namespace Steinberg
