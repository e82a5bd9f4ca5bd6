// The host harness against third-party bundles (Debian's zam-plugins):
// loading and unloading, buses, processing with parameter changes, state
// round trips, side-chains, rate changes; and the failures a host survives.
#include "plugin_instance.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// A mono EQ whose "Master Gain" (ID 13) maps 0..1 to -12..+12 dB, and a compressor with a side-chain.
const std::string kZamEq2 = "/usr/lib/vst3/ZamEQ2.vst3", kZamComp = "/usr/lib/vst3/ZamComp.vst3";
constexpr ParamID kMasterGain = 13;
constexpr int kBlock = 480;

bool resident (const std::string& library)
{
	void* handle = dlopen (library.c_str (), RTLD_NOW | RTLD_NOLOAD);
	if (handle)
		dlclose (handle);
	return handle != nullptr;
}

std::unique_ptr<PluginInstance> started (const std::string& bundle, std::string* error = nullptr)
{
	auto instance = PluginInstance::createFirst (Module::load (bundle, error), error);
	if (instance)
	{
		instance->activateDefaultBuses ();
		EXPECT_EQ (instance->start (48000, kBlock), kResultOk);
	}
	return instance;
}

/** Blocks of a 1 kHz sine of amplitude 0.5; the last block's RMS over that of the input (dB), all outputs finite. */
double gainThrough (PluginInstance& instance, ProcessBuffers& buffers, int blocks, IParameterChanges* firstChanges = nullptr)
{
	double sum = 0;
	for (int b = 0; b < blocks; ++b)
	{
		for (int c = 0; c < buffers.inputChannels (0); ++c)
			for (int i = 0; i < kBlock; ++i)
				buffers.input (0, c)[i] = static_cast<float> (0.5 * std::sin (2 * M_PI * 1000 * (b * kBlock + i) / 48000.0));
		EXPECT_EQ (instance.process (buffers, kBlock, b == 0 ? firstChanges : nullptr), kResultOk);
		sum = 0;
		for (int c = 0; c < buffers.outputChannels (0); ++c)
			for (int i = 0; i < kBlock; ++i)
			{
				EXPECT_TRUE (std::isfinite (buffers.output (0, c)[i]));
				sum += c == 0 ? double (buffers.output (0, 0)[i]) * buffers.output (0, 0)[i] : 0.0;
			}
	}
	return 10 * std::log10 (sum / kBlock / 0.125);
}

class Zam : public ::testing::Test
{
protected:
	void SetUp () override
	{
		if (!std::filesystem::exists (kZamEq2) || !std::filesystem::exists (kZamComp))
			GTEST_SKIP () << "zam-plugins is not installed";
	}
};

TEST_F (Zam, ModulesAreFoundListedAndUnloadedWithTheirLastOwner)
{
	const std::string library = kZamEq2 + "/Contents/x86_64-linux/ZamEQ2.so";
	EXPECT_EQ (Module::libraryPathOf (kZamEq2), library);
	EXPECT_EQ (Module::libraryPathOf (kZamEq2 + "/"), library);
	EXPECT_EQ (Module::libraryPathOf (library), library) << "a module file named directly is taken as it is";
	ASSERT_FALSE (resident (library)) << "another test left the module loaded";
	{
		auto module = Module::load (kZamEq2);
		ASSERT_TRUE (module);
		EXPECT_EQ (module->factoryInfo ().vendor, "Damien Zammit");
		const auto classes = module->classes ();
		ASSERT_EQ (classes.size (), 2u);
		EXPECT_TRUE (classes[0].category == kVstAudioEffectClass && classes[0].name == "ZamEQ2");
		EXPECT_EQ (classes[1].category, kVstComponentControllerClass);
		EXPECT_EQ (module->firstClassOf (kVstAudioEffectClass)->cid, classes[0].cid);
		EXPECT_FALSE (module->firstClassOf ("No Such Category"));
		auto second = module;  // shared ownership keeps one dlopen
		module.reset ();
		EXPECT_TRUE (resident (library));
		EXPECT_NE (second->symbol ("GetPluginFactory"), nullptr);
		EXPECT_EQ (second->symbol ("NoSuchSymbol"), nullptr);
	}
	EXPECT_FALSE (resident (library));
}

TEST_F (Zam, ProcessesAppliesParameterChangesAndCarriesStateAndRateChanges)
{
	auto eq = started (kZamEq2);
	ASSERT_TRUE (eq && eq->controller () && eq->connected () && !eq->singleComponent ());
	EXPECT_EQ (eq->busArrangement (kInput, 0), SpeakerArr::kMono);
	EXPECT_EQ (eq->processChannelCounts (kInput), std::vector<int32> {1});
	bool found = false;
	for (const ParameterRecord& p : eq->parameters ())
		found = found || (p.id == kMasterGain && p.title == "Master Gain" && p.units == "dB");
	EXPECT_TRUE (found);
	EXPECT_EQ (std::stod (eq->paramString (kMasterGain, 1.0)), 12.0);

	ProcessBuffers buffers (eq->processChannelCounts (kInput), eq->processChannelCounts (kOutput), kBlock);
	EXPECT_NEAR (gainThrough (*eq, buffers, 4), 0.0, 0.1);
	ParameterChanges changes;
	changes.add (kMasterGain, 0, 1.0);
	EXPECT_NEAR (gainThrough (*eq, buffers, 4, &changes), 12.0, 0.1);
	std::vector<char> state;
	ASSERT_EQ (eq->getState (state), kResultOk);
	changes.clear ();
	changes.add (kMasterGain, 0, 0.0);
	changes.add (kMasterGain, kBlock / 2, 0.5);  // only the last point of a queue remains in force
	EXPECT_NEAR (gainThrough (*eq, buffers, 4, &changes), 0.0, 0.1);

	auto target = started (kZamEq2);
	ASSERT_EQ (target->setState (state), kResultOk);
	EXPECT_EQ (target->syncControllerToProcessor (), kResultOk);
	EXPECT_NEAR (target->getParamNormalized (kMasterGain), 1.0, 1e-6);
	std::vector<char> again;
	ASSERT_EQ (target->getState (again), kResultOk);
	EXPECT_EQ (again, state);
	target->stop ();
	EXPECT_FALSE (target->active ());
	ASSERT_EQ (target->start (96000, kBlock), kResultOk);
	EXPECT_EQ (target->sampleRate (), 96000);
	EXPECT_NEAR (gainThrough (*target, buffers, 4), 12.0, 0.1);
}

TEST_F (Zam, SideChainBusJoinsProcessDataWhenActivated)
{
	auto comp = started (kZamComp);
	ASSERT_TRUE (comp);
	BusInfo aux {};
	ASSERT_TRUE (comp->busInfo (kInput, 1, aux));
	EXPECT_EQ (aux.busType, kAux);
	EXPECT_EQ (comp->processChannelCounts (kInput), (std::vector<int32> {1, 0})) << "inactive: a bus with no channels";
	comp->stop ();
	ASSERT_EQ (comp->activateBus (kInput, 1, true), kResultOk);
	ASSERT_EQ (comp->start (48000, kBlock), kResultOk);
	ProcessBuffers buffers (comp->processChannelCounts (kInput), comp->processChannelCounts (kOutput), kBlock);
	ASSERT_NE (buffers.input (1, 0), nullptr);
	std::fill (buffers.input (1, 0), buffers.input (1, 0) + kBlock, 0.9f);
	EXPECT_GT (gainThrough (*comp, buffers, 4), -40.0);
}

TEST (ZamBundles, EveryInstalledBundleLoadsProcessesRestoresAndUnloads)
{
	int found = 0;
	for (const auto& entry : std::filesystem::directory_iterator ("/usr/lib/vst3"))
	{
		const std::string name = entry.path ().filename ().string ();
		if (name.rfind ("Za", 0) != 0)
			continue;
		++found;
		SCOPED_TRACE (name);
		std::string error;
		auto instance = started (entry.path ().string (), &error);
		ASSERT_TRUE (instance) << error;
		ProcessBuffers buffers (instance->processChannelCounts (kInput), instance->processChannelCounts (kOutput), kBlock);
		EXPECT_GT (gainThrough (*instance, buffers, 8), -120.0) << "silence";
		std::vector<char> state;
		EXPECT_EQ (instance->getState (state), kResultOk);
		// A bundle without settings (ZamAutoSat) writes a lone zero byte its own reader refuses.
		EXPECT_TRUE (instance->setState (state) == kResultOk || state.size () <= 1);
		const std::string library = Module::libraryPathOf (entry.path ().string ());
		instance.reset ();
		EXPECT_FALSE (resident (library)) << "still loaded after the last owner let go";
	}
	if (found == 0)
		GTEST_SKIP () << "zam-plugins is not installed";
}

TEST (ModuleFailures, EachBadPathGivesAnErrorAndNoModule)
{
	std::string error;
	EXPECT_FALSE (Module::load ("/nonexistent/Nothing.vst3", &error));
	EXPECT_NE (error.find ("/nonexistent/Nothing.vst3"), std::string::npos) << error;
	const std::string text = ::testing::TempDir () + "not_a_module.so";
	std::ofstream (text) << "just text\n";
	error.clear ();
	EXPECT_FALSE (Module::load (text, &error));
	EXPECT_FALSE (error.empty ());
	std::remove (text.c_str ());
	EXPECT_FALSE (Module::load ("/lib/x86_64-linux-gnu/libm.so.6", &error));
	EXPECT_NE (error.find ("GetPluginFactory"), std::string::npos) << error;
	EXPECT_FALSE (Module::load ("/nonexistent/Nothing.vst3")) << "null error pointers are allowed";
}

} // namespace
