// Loading bundles: a third-party one, and the failures a host must survive.
#include "zam_bundles.h"

#include "module.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace QuenrilEQ::host;
using namespace QuenrilEQ::testing;

namespace {

bool libraryResident (const std::string& path)
{
	void* handle = dlopen (path.c_str (), RTLD_NOW | RTLD_NOLOAD);
	if (handle)
		dlclose (handle);
	return handle != nullptr;
}

class ZamModule : public ::testing::Test
{
protected:
	void SetUp () override
	{
		if (!exists (kZamEq2))
			GTEST_SKIP () << "zam-plugins is not installed";
	}
};

TEST_F (ZamModule, FindsTheModuleFileInsideTheBundle)
{
	EXPECT_EQ (Module::libraryPathOf (kZamEq2), std::string (kZamEq2) + "/Contents/x86_64-linux/ZamEQ2.so");
	EXPECT_EQ (Module::libraryPathOf (std::string (kZamEq2) + "/"), Module::libraryPathOf (kZamEq2));
	// A module file named directly is taken as it is.
	const std::string file = Module::libraryPathOf (kZamEq2);
	EXPECT_EQ (Module::libraryPathOf (file), file);
}

TEST_F (ZamModule, ListsAProcessorAndItsControllerClass)
{
	std::string error;
	auto module = Module::load (kZamEq2, &error);
	ASSERT_TRUE (module) << error;
	EXPECT_EQ (module->factoryInfo ().vendor, "Damien Zammit");

	auto classes = module->classes ();
	ASSERT_EQ (classes.size (), 2u);
	EXPECT_EQ (classes[0].category, kVstAudioEffectClass);
	EXPECT_EQ (classes[0].name, "ZamEQ2");
	EXPECT_NE (classes[0].subCategories.find ("EQ"), std::string::npos);
	EXPECT_EQ (classes[1].category, kVstComponentControllerClass);
	EXPECT_NE (classes[0].cid, classes[1].cid);

	auto effect = module->firstClassOf (kVstAudioEffectClass);
	ASSERT_TRUE (effect);
	EXPECT_EQ (effect->cid, classes[0].cid);
	EXPECT_FALSE (module->firstClassOf ("No Such Category"));
}

TEST_F (ZamModule, UnloadsWhenTheLastOwnerLetsGo)
{
	std::string library = Module::libraryPathOf (kZamEq2);
	ASSERT_FALSE (libraryResident (library)) << "another test left the module loaded";
	{
		auto module = Module::load (kZamEq2);
		ASSERT_TRUE (module);
		auto second = module; // shared ownership keeps one dlopen
		module.reset ();
		EXPECT_TRUE (libraryResident (library));
		EXPECT_NE (second->symbol ("GetPluginFactory"), nullptr);
		EXPECT_EQ (second->symbol ("NoSuchSymbol"), nullptr);
	}
	EXPECT_FALSE (libraryResident (library));
}

TEST (ModuleFailures, EachBadPathGivesAnErrorAndNoModule)
{
	std::string error;
	EXPECT_FALSE (Module::load ("/nonexistent/Nothing.vst3", &error));
	EXPECT_NE (error.find ("/nonexistent/Nothing.vst3"), std::string::npos) << error;

	// A file that is no shared library at all.
	const std::string text = ::testing::TempDir () + "not_a_module.so";
	std::ofstream (text) << "just text\n";
	error.clear ();
	EXPECT_FALSE (Module::load (text, &error));
	EXPECT_FALSE (error.empty ());
	std::remove (text.c_str ());

	// A real shared library without the VST 3 entry points.
	error.clear ();
	EXPECT_FALSE (Module::load ("/lib/x86_64-linux-gnu/libm.so.6", &error));
	EXPECT_NE (error.find ("GetPluginFactory"), std::string::npos) << error;

	// Null error pointers are allowed.
	EXPECT_FALSE (Module::load ("/nonexistent/Nothing.vst3"));
}

} // namespace
