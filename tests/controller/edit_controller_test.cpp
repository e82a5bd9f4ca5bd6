// The controller inside the built bundle, loaded and driven by the host
// harness as a DAW does, and the editor views it hands out.
#include "controller_test_support.h"

#include "plugin_instance.h"

#include "pluginterfaces/gui/iplugview.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST (EditController, EditorViewsOnlyForTheNameEditorEachCallANewOne)
{
	QuenrilEQ::testing::HostedController h;
	for (const char* name : {"Editor", "", "view", "editor ", static_cast<const char*> (nullptr)})
		EXPECT_EQ (h.edit ()->createView (name), nullptr) << (name ? name : "null");
	IPtr<IPlugView> first = owned (h.edit ()->createView ("editor")), second = owned (h.edit ()->createView ("editor"));
	ASSERT_TRUE (first && second);
	EXPECT_NE (first.get (), second.get ());
	ViewRect rect;
	ASSERT_EQ (first->getSize (&rect), kResultOk);
	EXPECT_EQ (std::make_pair (rect.getWidth (), rect.getHeight ()), std::make_pair (1400, 900));
	EXPECT_EQ (first->canResize (), kResultFalse);
}

TEST (EditController, AHostListsTheParametersAndTheControllerFollowsTheProcessor)
{
	QuenrilEQ::testing::TempHome home;
	std::string error;
	auto instance = QuenrilEQ::host::PluginInstance::createFirst (QuenrilEQ::host::Module::load (QEQ_BUNDLE_PATH, &error), &error);
	ASSERT_TRUE (instance && instance->controller ()) << error;
	// Creation handed the processor's state over: the module's first controller saved it as instance 1.
	EXPECT_TRUE (std::filesystem::exists (home.state () + "/_current_state_1.quenrileqpreset"));
	const auto params = instance->parameters ();
	ASSERT_EQ (params.size (), 314u);
	EXPECT_EQ (params[2 + 13 * 5 + 9].title, "Band 6 Ratio");
	EXPECT_EQ (instance->paramString (2001, 0.5), "High Cut");

	// A project with a version 2 processor state: processor and controller agree, no edits go back.
	QuenrilEQ::testing::Bytes state;
	state.i32 (0x51455131).i32 (2);
	for (int i = 0; i < 314; ++i)
		state.f32 (static_cast<float> (i % 17) / 16.0f);
	instance->handler ().clear ();
	ASSERT_EQ (instance->setState (state.data), kResultOk);
	ASSERT_EQ (instance->syncControllerToProcessor (), kResultOk);
	for (int i = 0; i < 314; ++i)
		EXPECT_EQ (instance->getParamNormalized (params[i].id), (i % 17) / 16.0) << params[i].title;
	EXPECT_EQ (instance->handler ().calls (), (std::vector<QuenrilEQ::host::HandlerCall> (
	                                              2, {QuenrilEQ::host::HandlerCall::Kind::RestartComponent, 0, 0, kLatencyChanged})));
}
