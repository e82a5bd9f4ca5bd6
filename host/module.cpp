#include "module.h"

#include "text.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace QuenrilEQ {
namespace host {

using namespace Steinberg;

namespace {
using EntryFunction = bool (*) (void*);
using InitFunction = bool (*) ();
using FactoryFunction = IPluginFactory* (PLUGIN_API*) ();

bool isDirectory (const std::string& path)
{
	struct stat info {};
	return stat (path.c_str (), &info) == 0 && S_ISDIR (info.st_mode);
}

std::string stripTrailingSlashes (std::string path)
{
	while (path.size () > 1 && path.back () == '/')
		path.pop_back ();
	return path;
}

void setError (std::string* error, const std::string& text)
{
	if (error)
		*error = text;
}

// PClassInfo and PClassInfo2 share these four fields but no base type.
template <typename Info>
ClassRecord recordFrom (const Info& info)
{
	ClassRecord record;
	record.cid = FUID::fromTUID (info.cid);
	record.cardinality = info.cardinality;
	record.category = fromField (info.category, sizeof (info.category));
	record.name = fromField (info.name, sizeof (info.name));
	return record;
}
} // namespace

std::string Module::libraryPathOf (const std::string& path)
{
	std::string bundle = stripTrailingSlashes (path);
	if (!isDirectory (bundle))
		return bundle;
	auto slash = bundle.find_last_of ('/');
	std::string name = slash == std::string::npos ? bundle : bundle.substr (slash + 1);
	const std::string suffix = ".vst3";
	if (name.size () > suffix.size () && name.compare (name.size () - suffix.size (), suffix.size (), suffix) == 0)
		name.resize (name.size () - suffix.size ());
	return bundle + "/Contents/x86_64-linux/" + name + ".so";
}

std::shared_ptr<Module> Module::load (const std::string& path, std::string* error)
{
	std::shared_ptr<Module> module (new Module ());
	module->libraryPath_ = libraryPathOf (path);

	// RTLD_LOCAL: two bundles built from the same SDK must not share its symbols.
	module->handle_ = dlopen (module->libraryPath_.c_str (), RTLD_NOW | RTLD_LOCAL);
	if (!module->handle_)
	{
		const char* why = dlerror ();
		setError (error, "cannot open " + module->libraryPath_ + ": " + (why ? why : "unknown error"));
		return nullptr;
	}

	if (auto entry = reinterpret_cast<EntryFunction> (module->symbol ("ModuleEntry")))
	{
		if (!entry (module->handle_))
		{
			setError (error, "ModuleEntry failed in " + module->libraryPath_);
			dlclose (module->handle_);
			module->handle_ = nullptr;
			return nullptr;
		}
		module->usesModuleEntry_ = true;
	}
	else if (auto init = reinterpret_cast<InitFunction> (module->symbol ("InitDll")))
	{
		if (!init ())
		{
			setError (error, "InitDll failed in " + module->libraryPath_);
			dlclose (module->handle_);
			module->handle_ = nullptr;
			return nullptr;
		}
	}

	auto getFactory = reinterpret_cast<FactoryFunction> (module->symbol ("GetPluginFactory"));
	if (!getFactory)
	{
		// The destructor still runs the exit entry for the entry it called.
		setError (error, module->libraryPath_ + " exports no GetPluginFactory");
		return nullptr;
	}
	module->factory_ = getFactory ();
	if (!module->factory_)
	{
		setError (error, "GetPluginFactory returned no factory in " + module->libraryPath_);
		return nullptr;
	}
	return module;
}

Module::~Module ()
{
	if (!handle_)
		return;
	if (factory_)
		factory_->release ();
	if (usesModuleEntry_)
	{
		if (auto exitFunction = reinterpret_cast<InitFunction> (symbol ("ModuleExit")))
			exitFunction ();
	}
	else if (auto exitFunction = reinterpret_cast<InitFunction> (symbol ("ExitDll")))
	{
		exitFunction ();
	}
	dlclose (handle_);
}

void* Module::symbol (const char* name) const
{
	return handle_ ? dlsym (handle_, name) : nullptr;
}

FactoryRecord Module::factoryInfo () const
{
	FactoryRecord record;
	PFactoryInfo info;
	if (factory_ && factory_->getFactoryInfo (&info) == kResultOk)
	{
		record.vendor = fromField (info.vendor, sizeof (info.vendor));
		record.url = fromField (info.url, sizeof (info.url));
		record.email = fromField (info.email, sizeof (info.email));
		record.flags = info.flags;
	}
	return record;
}

std::vector<ClassRecord> Module::classes () const
{
	std::vector<ClassRecord> records;
	if (!factory_)
		return records;
	FUnknownPtr<IPluginFactory2> factory2 (factory_);
	const int32 count = factory_->countClasses ();
	for (int32 i = 0; i < count; ++i)
	{
		PClassInfo2 info2;
		if (factory2 && factory2->getClassInfo2 (i, &info2) == kResultOk)
		{
			ClassRecord record = recordFrom (info2);
			record.classFlags = info2.classFlags;
			record.subCategories = fromField (info2.subCategories, sizeof (info2.subCategories));
			record.vendor = fromField (info2.vendor, sizeof (info2.vendor));
			record.version = fromField (info2.version, sizeof (info2.version));
			record.sdkVersion = fromField (info2.sdkVersion, sizeof (info2.sdkVersion));
			records.push_back (record);
			continue;
		}
		PClassInfo info;
		if (factory_->getClassInfo (i, &info) == kResultOk)
			records.push_back (recordFrom (info));
	}
	return records;
}

std::unique_ptr<ClassRecord> Module::firstClassOf (const std::string& category) const
{
	for (auto& record : classes ())
		if (record.category == category)
			return std::make_unique<ClassRecord> (record);
	return nullptr;
}

void* Module::createObject (const TUID cid, const TUID iid) const
{
	void* object = nullptr;
	if (!factory_ || factory_->createInstance (cid, iid, &object) != kResultOk)
		return nullptr;
	return object;
}

} // namespace host
} // namespace QuenrilEQ
