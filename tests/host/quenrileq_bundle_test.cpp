// The built QuenrilEQ bundle as a host first meets it: exports, libraries,
// factory and class records. QEQ_TEST_BUNDLE names another copy to check,
// such as the one a package installs.
#include "module.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace QuenrilEQ::host;
using namespace Steinberg;

namespace {

const std::string kBundle = std::getenv ("QEQ_TEST_BUNDLE") ? std::getenv ("QEQ_TEST_BUNDLE") : QEQ_BUNDLE_PATH;

// Lines a binutils command prints for the module file.
std::vector<std::string> toolLines (const std::string& command)
{
	std::vector<std::string> lines;
	FILE* pipe = popen ((command + " '" + Module::libraryPathOf (kBundle) + "' 2>/dev/null").c_str (), "r");
	char line[512];
	while (pipe && std::fgets (line, sizeof line, pipe))
		lines.emplace_back (line);
	if (pipe)
		pclose (pipe);
	return lines;
}

TEST (QuenrilEQBundle, ExportsTheFiveEntryPointsAndBringsNoToolkitIntoTheHost)
{
	std::vector<std::string> exported;
	for (const std::string& line : toolLines ("nm -D --defined-only --format=posix"))
		exported.push_back (line.substr (0, line.find (' ')));
	EXPECT_EQ (exported, (std::vector<std::string> {"ExitDll", "GetPluginFactory", "InitDll", "ModuleEntry", "ModuleExit"}));
	// Hosts built on GTK 2 or GTK 4 cannot have GTK 3 in their process: the editor's toolkit and
	// browser live in a helper program.
	int needed = 0;
	for (const std::string& line : toolLines ("readelf -d"))
	{
		if (line.find ("(NEEDED)") == std::string::npos)
			continue;
		++needed;
		for (const char* toolkit : {"gtk", "gdk", "webkit", "javascriptcore", "glib", "gobject", "gio", "X11.so"})
			EXPECT_EQ (line.find (toolkit), std::string::npos) << line;
	}
	EXPECT_GE (needed, 1);
}

// Loaded three times over: libraries the module pulled in may have started threads that must
// not lose their code when it is unloaded.
TEST (QuenrilEQBundle, FactoryOffersProcessorThenControllerWithOneMoreReferencePerCallAcrossReloads)
{
	const auto record = [] (const ClassRecord& c) {
		return c.category + "|" + c.name + "|" + std::to_string (c.cardinality) + "|" + std::to_string (c.classFlags) +
		       "|" + c.subCategories + "|" + c.vendor + "|" + c.version + "|" + c.sdkVersion;
	};
	for (int cycle = 0; cycle < 3; ++cycle)
	{
		SCOPED_TRACE (cycle);
		std::string error;
		auto module = Module::load (kBundle, &error);
		ASSERT_TRUE (module) << error;
		EXPECT_EQ (module->factoryInfo ().vendor, "QuenrilDSP");
		EXPECT_EQ (module->factoryInfo ().flags, PFactoryInfo::kUnicode);
		// Processor first, then controller: what a host shows and how many it may make of each.
		const auto classes = module->classes ();
		ASSERT_EQ (classes.size (), 2u);
		EXPECT_TRUE (classes[0].cid == FUID (0xA79D68D4, 0xEE9A4138, 0xB7A22085, 0xA1933E29));
		EXPECT_EQ (record (classes[0]), "Audio Module Class|QuenrilEQ|2147483647|1|Fx|EQ||" QEQ_PROJECT_VERSION "|VST 3.8.0");
		EXPECT_TRUE (classes[1].cid == FUID (0x24A48C1E, 0x79C54A63, 0xB7F91C27, 0x82B4518F));
		EXPECT_EQ (record (classes[1]),
		           "Component Controller Class|QuenrilEQController|2147483647|0|||" QEQ_PROJECT_VERSION "|VST 3.8.0");
		// A host releases what each call hands out: the factory must survive that.
		auto getFactory = reinterpret_cast<IPluginFactory* (PLUGIN_API*) ()> (module->symbol ("GetPluginFactory"));
		ASSERT_NE (getFactory, nullptr);
		IPluginFactory* held = module->factory ();
		held->addRef ();
		const uint32 before = held->release ();
		ASSERT_EQ (getFactory (), held);
		EXPECT_EQ (held->release (), before);
	}
}

TEST (QuenrilEQBundle, EntryPointsBalance)
{
	// A private copy is a fresh module whatever other tests loaded.
	const std::string copy = ::testing::TempDir () + "qeq_entry_" + std::to_string (getpid ()) + ".so";
	std::ofstream (copy, std::ios::binary) << std::ifstream (Module::libraryPathOf (kBundle), std::ios::binary).rdbuf ();
	void* handle = dlopen (copy.c_str (), RTLD_NOW | RTLD_LOCAL);
	ASSERT_NE (handle, nullptr) << dlerror ();
	auto initDll = reinterpret_cast<bool (*) ()> (dlsym (handle, "InitDll"));
	auto exitDll = reinterpret_cast<bool (*) ()> (dlsym (handle, "ExitDll"));
	ASSERT_TRUE (initDll && exitDll);
	EXPECT_FALSE (exitDll ()) << "ExitDll without InitDll";
	EXPECT_TRUE (initDll () && initDll () && exitDll ());
	dlclose (handle);
	std::remove (copy.c_str ());
}

} // namespace
