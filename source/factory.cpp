// The module's class factory: one processor class and its controller class.
#include "controller.h"
#include "plugids.h"
#include "processor.h"

#include "moduleentry.h"
#include "pluginfactory.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <cstring>
#include <mutex>

using namespace Steinberg;

namespace {

template <size_t N>
void copyField (char8 (&field)[N], const char* text)
{
	std::memset (field, 0, N);
	std::strncpy (field, text, N - 1);
}

PClassInfo2 makeClassInfo (const FUID& cid, const char* category, const char* name, int32 flags,
                           const char* subCategories)
{
	PClassInfo2 info;
	std::memcpy (info.cid, cid.toTUID (), sizeof (TUID));
	info.cardinality = PClassInfo::kManyInstances;
	copyField (info.category, category);
	copyField (info.name, name);
	info.classFlags = static_cast<uint32> (flags);
	copyField (info.subCategories, subCategories);
	copyField (info.vendor, "");
	copyField (info.version, QuenrilEQ::kVersion);
	copyField (info.sdkVersion, QuenrilEQ::kSdkVersionString);
	return info;
}

FUnknown* createProcessor (void*)
{
	return static_cast<Vst::IAudioProcessor*> (new QuenrilEQ::QuenrilEQProcessor ());
}

FUnknown* createController (void*)
{
	return static_cast<Vst::IEditController*> (new QuenrilEQ::QuenrilEQController ());
}

// One factory per loaded module; its creation reference is the one the
// first caller receives.
std::mutex factoryMutex;
CPluginFactory* moduleFactory = nullptr;

// Forgets the module's factory when the host releases its last reference.
class ModuleFactory : public CPluginFactory
{
public:
	using CPluginFactory::CPluginFactory;
	~ModuleFactory () override
	{
		std::lock_guard<std::mutex> lock (factoryMutex);
		if (moduleFactory == this)
			moduleFactory = nullptr;
	}
};

CPluginFactory* createFactory ()
{
	PFactoryInfo factoryInfo;
	copyField (factoryInfo.vendor, QuenrilEQ::kVendor);
	copyField (factoryInfo.url, QuenrilEQ::kVendorUrl);
	copyField (factoryInfo.email, QuenrilEQ::kVendorEmail);
	factoryInfo.flags = PFactoryInfo::kUnicode;

	auto* factory = new ModuleFactory (factoryInfo);
	static const PClassInfo2 processorInfo =
	    makeClassInfo (QuenrilEQ::kProcessorUID, kVstAudioEffectClass, QuenrilEQ::kPluginName,
	                   Vst::kDistributable, QuenrilEQ::kSubCategories);
	static const PClassInfo2 controllerInfo = makeClassInfo (
	    QuenrilEQ::kControllerUID, kVstComponentControllerClass, QuenrilEQ::kControllerName, 0, "");
	factory->registerClass (&processorInfo, createProcessor);
	factory->registerClass (&controllerInfo, createController);
	return factory;
}


} // namespace

extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory ()
{
	std::lock_guard<std::mutex> lock (factoryMutex);
	if (!moduleFactory)
		moduleFactory = createFactory ();
	else
		moduleFactory->addRef ();
	return moduleFactory;
}
