// The controller inside the built bundle, loaded and driven by the host
// harness exactly as a DAW does, and the editor views it hands out.
#include "controller_test_support.h"

#include "plugin_instance.h"

#include "pluginterfaces/gui/iplugview.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::TempHome;

TEST (EditController, EditorViewsOnlyForTheNameEditor)
{
	HostedController h;
	for (const char* name : {"Editor", "", "view", "editor "})
	{
		IPlugView* view = h.edit ()->createView (name);
		EXPECT_EQ (view, nullptr) << name;
		if (view)
			view->release ();
	}
	EXPECT_EQ (h.edit ()->createView (nullptr), nullptr);

	// Every call makes a new view, 1400 x 900 before it is attached anywhere.
	IPlugView* first = h.edit ()->createView ("editor");
	IPlugView* second = h.edit ()->createView ("editor");
	ASSERT_NE (first, nullptr);
	ASSERT_NE (second, nullptr);
	EXPECT_NE (first, second);
	ViewRect rect;
	ASSERT_EQ (first->getSize (&rect), kResultOk);
	EXPECT_EQ (rect.getWidth (), 1400);
	EXPECT_EQ (rect.getHeight (), 900);
	EXPECT_EQ (first->canResize (), kResultFalse);
	first->release ();
	second->release ();
}

TEST (BundleController, AHostListsTheParametersAndTheControllerFollowsTheProcessor)
{
	TempHome home;
	std::string error;
	auto module = QuenrilEQ::host::Module::load (QEQ_BUNDLE_PATH, &error);
	ASSERT_TRUE (module) << error;
	auto instance = QuenrilEQ::host::PluginInstance::createFirst (module, &error);
	ASSERT_TRUE (instance) << error;
	ASSERT_TRUE (instance->controller ());

	// Creation handed the processor's state over: the first controller of the
	// module saved its current state under instance number 1.
	EXPECT_TRUE (std::filesystem::exists (home.state () + "/_current_state_1.quenrileqpreset"));

	const auto params = instance->parameters ();
	ASSERT_EQ (params.size (), 314u);
	EXPECT_EQ (params[0].title, "Phase Mode");
	EXPECT_EQ (params[1].title, "Linear Latency");
	EXPECT_EQ (params[2 + 13 * 5 + 9].title, "Band 6 Ratio");
	EXPECT_EQ (params[2 + 13 * 5 + 9].id, 2089u);
	EXPECT_EQ (params[2 + 13 * 5 + 9].units, ":1");
	EXPECT_EQ (params[313].id, 2380u);
	EXPECT_EQ (params[313].flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
	EXPECT_EQ (instance->paramString (2001, 0.5), "High Cut");
	EXPECT_EQ (instance->paramString (2000, 0.5), "Off");
	EXPECT_EQ (instance->paramString (2003, 0.25), "0.2500");

	// A project with a version 2 processor state: processor and controller agree.
	Bytes state;
	state.i32 (0x51455131).i32 (2);
	for (int i = 0; i < 314; ++i)
		state.f32 (static_cast<float> (i % 17) / 16.0f);
	instance->handler ().clear ();
	ASSERT_EQ (instance->setState (state.data), kResultOk);
	ASSERT_EQ (instance->syncControllerToProcessor (), kResultOk);
	for (int i = 0; i < 314; ++i)
		EXPECT_EQ (instance->getParamNormalized (params[static_cast<size_t> (i)].id), (i % 17) / 16.0)
		    << params[static_cast<size_t> (i)].title;
	EXPECT_EQ (instance->handler ().restartCount (kLatencyChanged), 2u);
	EXPECT_EQ (instance->handler ().calls ().size (), 2u) << "no edits go back to the host";
}
