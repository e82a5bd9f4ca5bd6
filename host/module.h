// A loaded VST 3 bundle: the shared library, its entry points and its class factory.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"

#include <memory>
#include <string>
#include <vector>

namespace QuenrilEQ {
namespace host {

/** What the factory says about itself (PFactoryInfo). */
struct FactoryRecord
{
	std::string vendor;
	std::string url;
	std::string email;
	Steinberg::int32 flags = 0;
};

/** One class the factory offers. The PClassInfo2 fields stay empty for a
 *  factory that only offers IPluginFactory. */
struct ClassRecord
{
	Steinberg::FUID cid;
	Steinberg::int32 cardinality = 0;
	std::string category;
	std::string name;
	Steinberg::uint32 classFlags = 0;
	std::string subCategories;
	std::string vendor;
	std::string version;
	std::string sdkVersion;
};

/** Owns one dlopen of a bundle's module file. Loading calls ModuleEntry (or
 *  InitDll for a Windows-style module) and takes the factory; destruction
 *  releases the factory, calls ModuleExit (or ExitDll) and closes the library.
 *  Plug-in objects hold a shared_ptr to the module so that it outlives them.
 *  Call from one thread (the host's main thread). */
class Module
{
public:
	/** Loads a bundle folder (Name.vst3 holding Contents/x86_64-linux/Name.so) or
	 *  a module file given directly. Returns null and fills error on failure. */
	static std::shared_ptr<Module> load (const std::string& path, std::string* error = nullptr);

	/** The module file inside a bundle folder, or path itself when it names a file. */
	static std::string libraryPathOf (const std::string& path);

	~Module ();
	Module (const Module&) = delete;
	Module& operator= (const Module&) = delete;

	/** The factory, valid for the module's lifetime (the module holds one reference). */
	Steinberg::IPluginFactory* factory () const { return factory_; }
	FactoryRecord factoryInfo () const;
	std::vector<ClassRecord> classes () const;
	/** The first class of the given category ("Audio Module Class"), or null. */
	std::unique_ptr<ClassRecord> firstClassOf (const std::string& category) const;

	/** Creates an object of class cid asking for interface iid; returns the
	 *  interface pointer (one reference, the caller's) or null. */
	void* createObject (const Steinberg::TUID cid, const Steinberg::TUID iid) const;

	/** A symbol the module exports, or null. */
	void* symbol (const char* name) const;

	const std::string& libraryPath () const { return libraryPath_; }

private:
	Module () = default;
	void* handle_ = nullptr;
	Steinberg::IPluginFactory* factory_ = nullptr;
	bool usesModuleEntry_ = false;
	std::string libraryPath_;
};

} // namespace host
} // namespace QuenrilEQ
