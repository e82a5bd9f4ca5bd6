// Every change of the reported latency reaches the host, whichever way it
// came. Emulates a host that re-reads getLatencySamples only at the start of
// a cycle after a restartComponent(kLatencyChanged), before that cycle's
// parameter changes reach the processor (Ardour does so), and compensates
// with the value it read. The change comes through the controller as well
// (the host's own controls) or only through process() (automation): both
// must end with the host reading the latency the audio really has.
#include "module.h"
#include "parameters.h"
#include "plugin_instance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace QuenrilEQ;
using namespace QuenrilEQ::host;
using namespace Steinberg::Vst;

namespace {

constexpr int kBlock = 480;

class CompensatingHost
{
public:
	CompensatingHost () : plugin (PluginInstance::createFirst (Module::load (QEQ_BUNDLE_PATH)))
	{
		plugin->activateDefaultBuses ();
		plugin->start (48000.0, kBlock, kRealtime);
		buffers = std::make_unique<ProcessBuffers> (plugin->processChannelCounts (kInput), plugin->processChannelCounts (kOutput), kBlock);
		compensation = plugin->latencySamples ();
	}

	/** One cycle in real time (the plug-in's own threads get their turns); returns the left output. */
	std::vector<float> cycle (const std::vector<float>& input = std::vector<float> (kBlock))
	{
		const size_t restarts = plugin->handler ().restartCount (kLatencyChanged);
		if (restarts != restartsRead)
			restartsRead = restarts, compensation = plugin->latencySamples ();
		for (int c = 0; c < 2; ++c)
			std::copy (input.begin (), input.end (), buffers->input (0, c));
		plugin->process (*buffers, kBlock, &changes);
		changes.clear ();
		std::this_thread::sleep_for (std::chrono::microseconds (10000));
		return std::vector<float> (buffers->output (0, 0), buffers->output (0, 0) + kBlock);
	}

	/** Sets a parameter as automation does, and through the controller too when asked. */
	void set (ParamID id, double value, bool viaController)
	{
		if (viaController)
			plugin->setParamNormalized (id, value);
		changes.add (id, 0, value);
	}

	/** Cycles until the host compensates `expected` (at most 1 s). */
	bool settlesAt (Steinberg::uint32 expected)
	{
		for (int i = 0; i < 100 && compensation != expected; ++i)
			cycle ();
		return compensation == expected;
	}

	std::unique_ptr<PluginInstance> plugin;
	std::unique_ptr<ProcessBuffers> buffers;
	ParameterChanges changes;
	Steinberg::uint32 compensation = 0;
	size_t restartsRead = 0;
};

} // namespace

TEST (LatencyReporting, HostsThatReadLateOrNeverHearOfTheChangeStillCompensate)
{
	for (bool viaController : {true, false})
	{
		SCOPED_TRACE (viaController ? "through the controller and process" : "through process only");
		CompensatingHost host;
		ASSERT_TRUE (host.plugin->connected ());
		ASSERT_EQ (host.compensation, 0u);
		host.set (kPhaseModeId, 1.0, viaController);
		EXPECT_TRUE (host.settlesAt (1152)) << "the host compensates " << host.compensation;
		host.set (kLinearLatencyId, 1.0, viaController);
		EXPECT_TRUE (host.settlesAt (8320)) << "the host compensates " << host.compensation;

		// With every band off the kernel is a delayed impulse: compensated by what the host
		// read, impulses come out where they went in.
		std::vector<float> in, out;
		for (int block = 0; block < 60; ++block)
		{
			std::vector<float> x (kBlock);
			if (block % 10 == 5)
				x[block % 7 * 50] = 1.0f;
			const std::vector<float> y = host.cycle (x);
			in.insert (in.end (), x.begin (), x.end ());
			out.insert (out.end (), y.begin (), y.end ());
		}
		int impulses = 0;
		for (size_t n = 0; n + host.compensation < out.size (); ++n)
			if (in[n] != 0.0f)
			{
				++impulses;
				EXPECT_NEAR (out[n + host.compensation], 1.0f, 1e-3) << "impulse at " << n;
			}
		EXPECT_GE (impulses, 3);
		host.set (kPhaseModeId, 0.0, viaController);
		EXPECT_TRUE (host.settlesAt (0)) << "the host compensates " << host.compensation;
	}
}
