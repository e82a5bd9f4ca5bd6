// The host harness against third-party bundles (Debian's zam-plugins):
// loading and unloading, buses, processing with parameter changes, state
// round trips, rate changes; and the failures a host survives.
#include "plugin_instance.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kBlock = 480;

bool resident (const std::string& library)
{
	void* handle = dlopen (library.c_str (), RTLD_NOW | RTLD_NOLOAD);
	if (handle)
		dlclose (handle);
	return handle != nullptr;
}

std::unique_ptr<PluginInstance> started (std::shared_ptr<Module> module)
{
	std::string error;
	auto instance = PluginInstance::createFirst (std::move (module), &error);
	EXPECT_TRUE (instance) << error;
	if (instance)
	{
		instance->activateDefaultBuses ();
		EXPECT_EQ (instance->start (48000, kBlock), kResultOk);
	}
	return instance;
}

// Blocks of a 1 kHz sine of amplitude 0.5; the last block's RMS on the first output over that of the input (dB).
double gainThrough (PluginInstance& instance, int blocks, IParameterChanges* firstChanges = nullptr)
{
	ProcessBuffers buffers (instance.processChannelCounts (kInput), instance.processChannelCounts (kOutput), kBlock);
	double sum = 0;
	for (int b = 0; b < blocks; ++b)
	{
		for (int c = 0; c < buffers.inputChannels (0); ++c)
			for (int i = 0; i < kBlock; ++i)
				buffers.input (0, c)[i] = static_cast<float> (0.5 * std::sin (2 * M_PI * 1000 * (b * kBlock + i) / 48000.0));
		EXPECT_EQ (instance.process (buffers, kBlock, b == 0 ? firstChanges : nullptr), kResultOk);
		sum = 0;
		for (int i = 0; i < kBlock; ++i)
			sum += double (buffers.output (0, 0)[i]) * buffers.output (0, 0)[i];
	}
	return 10 * std::log10 (sum / kBlock / 0.125);
}

// ZamEQ2, a mono EQ whose "Master Gain" (ID 13) maps 0..1 to -12..+12 dB: parameter changes act
// (the render tool's tests apply more of them through this harness), and its state carries the gain
// to a second instance, which keeps it across a rate change.
void expectChangesStateAndRateCarry (PluginInstance& eq, const std::string& bundle)
{
	constexpr ParamID kMasterGain = 13;
	ASSERT_TRUE (eq.controller () && eq.connected () && !eq.singleComponent ());
	const auto params = eq.parameters ();
	EXPECT_TRUE (std::any_of (params.begin (), params.end (), [] (const ParameterRecord& p) { return p.id == kMasterGain && p.units == "dB"; }));
	EXPECT_EQ (std::stod (eq.paramString (kMasterGain, 1.0)), 12.0);
	ParameterChanges changes;
	changes.add (kMasterGain, 0, 0.0);
	changes.add (kMasterGain, kBlock / 2, 1.0);  // only the last point of a queue remains in force
	EXPECT_NEAR (gainThrough (eq, 4, &changes), 12.0, 0.1);
	std::vector<char> state, again;
	ASSERT_EQ (eq.getState (state), kResultOk);
	auto target = started (Module::load (bundle));
	ASSERT_EQ (target->setState (state), kResultOk);
	EXPECT_EQ (target->syncControllerToProcessor (), kResultOk);
	EXPECT_NEAR (target->getParamNormalized (kMasterGain), 1.0, 1e-6);
	ASSERT_EQ (target->getState (again), kResultOk);
	EXPECT_EQ (again, state);
	target->stop ();
	EXPECT_FALSE (target->active ());
	ASSERT_EQ (target->start (96000, kBlock), kResultOk);
	EXPECT_NEAR (gainThrough (*target, 4), 12.0, 0.1);
}

TEST (ZamBundles, EveryInstalledBundleLoadsProcessesRestoresAndUnloadsWithItsLastOwner)
{
	int found = 0;
	bool sawEq2 = false;  // the bundle that carries the parameter, state and rate checks
	for (const auto& entry : std::filesystem::directory_iterator ("/usr/lib/vst3"))
	{
		const std::string bundle = entry.path ().string (), name = entry.path ().stem ().string ();
		if (name.rfind ("Za", 0) != 0)
			continue;
		++found;
		SCOPED_TRACE (name);
		const std::string library = bundle + "/Contents/x86_64-linux/" + name + ".so";
		EXPECT_EQ (Module::libraryPathOf (bundle + "/"), library);
		ASSERT_FALSE (resident (library)) << "another test left the module loaded";
		std::string error;
		auto module = Module::load (bundle, &error);
		ASSERT_TRUE (module) << error;
		EXPECT_EQ (module->factoryInfo ().vendor, "Damien Zammit");
		EXPECT_EQ (module->firstClassOf (kVstAudioEffectClass)->cid, module->classes ()[0].cid);
		EXPECT_FALSE (module->firstClassOf ("No Such Category"));
		auto instance = started (std::move (module));  // the instance shares the module
		ASSERT_TRUE (instance);
		if (name == "ZamEQ2")
		{
			sawEq2 = true;
			expectChangesStateAndRateCarry (*instance, bundle);
		}
		EXPECT_GT (gainThrough (*instance, 8), -120.0) << "silence";
		std::vector<char> state;
		EXPECT_EQ (instance->getState (state), kResultOk);
		// A bundle without settings (ZamAutoSat) writes a lone zero byte its own reader refuses.
		EXPECT_TRUE (instance->setState (state) == kResultOk || state.size () <= 1);
		EXPECT_TRUE (resident (library));
		instance.reset ();
		EXPECT_FALSE (resident (library)) << "still loaded after the last owner let go";
	}
	if (found == 0)
		GTEST_SKIP () << "zam-plugins is not installed";
	EXPECT_TRUE (sawEq2) << "zam-plugins without ZamEQ2: its checks did not run";
}

TEST (ModuleFailures, EachBadPathGivesAnErrorAndNoModule)
{
	const std::string text = ::testing::TempDir () + "not_a_module.so";
	std::ofstream (text) << "just text\n";
	for (const auto& [path, told] : {std::pair<std::string, std::string> {"/nonexistent/Nothing.vst3", "Nothing.vst3"},
	                                 {text, "not_a_module"}, {"/lib/x86_64-linux-gnu/libm.so.6", "GetPluginFactory"}})
	{
		std::string error;
		EXPECT_FALSE (Module::load (path, &error));
		EXPECT_NE (error.find (told), std::string::npos) << error;
	}
	std::remove (text.c_str ());
	EXPECT_FALSE (Module::load ("/nonexistent/Nothing.vst3")) << "null error pointers are allowed";
}

} // namespace
