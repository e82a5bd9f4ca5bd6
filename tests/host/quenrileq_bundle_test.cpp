// The built QuenrilEQ bundle as a host first meets it: exports, factory and
// class records. QEQ_TEST_BUNDLE names another copy to check, such as the
// one a package installs.
#include "elf_exports.h"
#include "zam_bundles.h"

#include "module.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace QuenrilEQ::host;
using namespace QuenrilEQ::testing;
using namespace Steinberg;

namespace {

const std::string kBundle = std::getenv ("QEQ_TEST_BUNDLE") ? std::getenv ("QEQ_TEST_BUNDLE") : QEQ_BUNDLE_PATH;

uint32 referenceCount (FUnknown* object)
{
	object->addRef ();
	return object->release ();
}

TEST (QuenrilEQBundle, ExportsExactlyTheFiveEntryPoints)
{
	const std::vector<std::string> expected {"ExitDll", "GetPluginFactory", "InitDll", "ModuleEntry", "ModuleExit"};
	EXPECT_EQ (exportedSymbols (Module::libraryPathOf (kBundle)), expected);
}

TEST (QuenrilEQBundle, BringsNoToolkitIntoTheHost)
{
	// Hosts built on GTK 2 or GTK 4 cannot have GTK 3 in their process; the
	// editor's toolkit and browser live in a helper program instead.
	const std::vector<std::string> needed = neededLibraries (Module::libraryPathOf (kBundle));
	ASSERT_FALSE (needed.empty ());
	EXPECT_NE (std::find (needed.begin (), needed.end (), "libc.so.6"), needed.end ());
	for (const std::string& library : needed)
		for (const char* toolkit : {"gtk", "gdk", "webkit", "javascriptcore", "glib", "gobject", "gio", "X11.so"})
			EXPECT_EQ (library.find (toolkit), std::string::npos) << library;
}

TEST (QuenrilEQBundle, SymbolReaderAgreesWithAThirdPartyModule)
{
	if (!exists (kZamEq2))
		GTEST_SKIP () << "zam-plugins is not installed";
	// The same three names that nm -D --defined-only lists for this module.
	EXPECT_EQ (exportedSymbols (Module::libraryPathOf (kZamEq2)),
	           (std::vector<std::string> {"GetPluginFactory", "ModuleEntry", "ModuleExit"}));
	EXPECT_TRUE (exportedSymbols ("/nonexistent.so").empty ());
	// What readelf -d lists for the same module.
	EXPECT_EQ (neededLibraries (Module::libraryPathOf (kZamEq2)),
	           (std::vector<std::string> {"libGL.so.1", "libX11.so.6", "libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6"}));
	EXPECT_TRUE (exportedSymbols (QEQ_SOURCE_DIR "/CMakeLists.txt").empty ());
}

TEST (QuenrilEQBundle, FactoryOffersProcessorThenController)
{
	std::string error;
	auto module = Module::load (kBundle, &error);
	ASSERT_TRUE (module) << error;
	auto factory = module->factoryInfo ();
	EXPECT_EQ (factory.vendor, "QuenrilDSP");
	EXPECT_EQ (factory.flags, PFactoryInfo::kUnicode);
	EXPECT_EQ (factory.email.rfind ("mailto:", 0), 0u) << factory.email;

	auto classes = module->classes ();
	ASSERT_EQ (classes.size (), 2u);
	const ClassRecord& processor = classes[0];
	EXPECT_EQ (processor.cid, FUID (0xA79D68D4, 0xEE9A4138, 0xB7A22085, 0xA1933E29));
	EXPECT_EQ (processor.cardinality, PClassInfo::kManyInstances);
	EXPECT_EQ (processor.category, "Audio Module Class");
	EXPECT_EQ (processor.name, "QuenrilEQ");
	EXPECT_EQ (processor.classFlags, 1u);
	EXPECT_EQ (processor.subCategories, "Fx|EQ");
	EXPECT_EQ (processor.vendor, "");
	EXPECT_EQ (processor.version, QEQ_PROJECT_VERSION);
	EXPECT_EQ (processor.sdkVersion, "VST 3.8.0");

	const ClassRecord& controller = classes[1];
	EXPECT_EQ (controller.cid, FUID (0x24A48C1E, 0x79C54A63, 0xB7F91C27, 0x82B4518F));
	EXPECT_EQ (controller.cardinality, PClassInfo::kManyInstances);
	EXPECT_EQ (controller.category, "Component Controller Class");
	EXPECT_EQ (controller.name, "QuenrilEQController");
	EXPECT_EQ (controller.classFlags, 0u);
	EXPECT_EQ (controller.subCategories, "");
	EXPECT_EQ (controller.vendor, "");
	EXPECT_EQ (controller.version, QEQ_PROJECT_VERSION);
	EXPECT_EQ (controller.sdkVersion, "VST 3.8.0");
}

TEST (QuenrilEQBundle, GetPluginFactoryReturnsOneFactoryWithOneMoreReference)
{
	auto module = Module::load (kBundle);
	ASSERT_TRUE (module);
	using FactoryFunction = IPluginFactory* (PLUGIN_API*) ();
	auto getFactory = reinterpret_cast<FactoryFunction> (module->symbol ("GetPluginFactory"));
	ASSERT_NE (getFactory, nullptr);
	IPluginFactory* held = module->factory ();
	const uint32 before = referenceCount (held);
	IPluginFactory* again = getFactory ();
	EXPECT_EQ (again, held);
	EXPECT_EQ (referenceCount (held), before + 1);
	again->release ();
	EXPECT_EQ (referenceCount (held), before);
}

TEST (QuenrilEQBundle, ExitDllWithoutInitDllReturnsFalse)
{
	// A private copy is a fresh module whatever other tests loaded.
	const std::string copy = ::testing::TempDir () + "qeq_entry_" + std::to_string (getpid ()) + ".so";
	{
		std::ifstream from (Module::libraryPathOf (kBundle), std::ios::binary);
		std::ofstream to (copy, std::ios::binary);
		to << from.rdbuf ();
	}
	void* handle = dlopen (copy.c_str (), RTLD_NOW | RTLD_LOCAL);
	ASSERT_NE (handle, nullptr) << dlerror ();
	using EntryFunction = bool (*) ();
	auto initDll = reinterpret_cast<EntryFunction> (dlsym (handle, "InitDll"));
	auto exitDll = reinterpret_cast<EntryFunction> (dlsym (handle, "ExitDll"));
	ASSERT_TRUE (initDll && exitDll);
	EXPECT_FALSE (exitDll ());
	// Balanced again after one more InitDll than ExitDll.
	EXPECT_TRUE (initDll ());
	EXPECT_TRUE (initDll ());
	EXPECT_TRUE (exitDll ());
	dlclose (handle);
	std::remove (copy.c_str ());
}

TEST (QuenrilEQBundle, SurvivesUnloadAndReload)
{
	// Hosts unload and reload modules; libraries the module pulled in may
	// have started threads that must not lose their code under them.
	for (int cycle = 0; cycle < 3; ++cycle)
	{
		auto module = Module::load (kBundle);
		ASSERT_TRUE (module) << "cycle " << cycle;
		EXPECT_EQ (module->classes ().size (), 2u) << "cycle " << cycle;
	}
}

} // namespace
