// Steinberg::CPluginFactory — the class factory a module hands to the host
// through GetPluginFactory. Classes are registered with their PClassInfo2
// record and a create function; the factory answers IPluginFactory,
// IPluginFactory2 and IPluginFactory3.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

#include <atomic>
#include <vector>

namespace Steinberg {

/** Creates an instance of a registered class; the context is the host's. */
using FactoryCreateFunction = FUnknown* (*)(void* context);

class CPluginFactory : public IPluginFactory3
{
public:
	explicit CPluginFactory (const PFactoryInfo& info);
	virtual ~CPluginFactory ();

	/** Registers one class; copies the record. [module load, one thread] */
	bool registerClass (const PClassInfo2* info, FactoryCreateFunction createFunc,
	                    void* context = nullptr);
	bool isClassRegistered (const FUID& cid) const;

	//---FUnknown: hosts share the factory between threads, so the count is atomic
	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) SMTG_OVERRIDE;
	uint32 PLUGIN_API addRef () SMTG_OVERRIDE;
	uint32 PLUGIN_API release () SMTG_OVERRIDE;

	//---IPluginFactory
	tresult PLUGIN_API getFactoryInfo (PFactoryInfo* info) SMTG_OVERRIDE;
	int32 PLUGIN_API countClasses () SMTG_OVERRIDE;
	tresult PLUGIN_API getClassInfo (int32 index, PClassInfo* info) SMTG_OVERRIDE;
	tresult PLUGIN_API createInstance (FIDString cid, FIDString iid, void** obj) SMTG_OVERRIDE;
	//---IPluginFactory2
	tresult PLUGIN_API getClassInfo2 (int32 index, PClassInfo2* info) SMTG_OVERRIDE;
	//---IPluginFactory3
	tresult PLUGIN_API getClassInfoUnicode (int32 index, PClassInfoW* info) SMTG_OVERRIDE;
	tresult PLUGIN_API setHostContext (FUnknown* context) SMTG_OVERRIDE;

private:
	struct ClassEntry
	{
		PClassInfo2 info;
		FactoryCreateFunction createFunc;
		void* context;
	};

	std::atomic<uint32> refCount {1};
	PFactoryInfo factoryInfo;
	std::vector<ClassEntry> classes;
};

} // namespace Steinberg
