// How the latency the processor reports reaches the host, whatever route a
// change of "Phase Mode" or "Linear Latency" took. The processor learns new
// values only in process(), after a host may already have re-read (and
// cached) the old latency, and automation never passes the controller at
// all. So once the reported latency has changed, the processor tells its
// controller over the connection the host made between the two, and the
// controller asks the host to restart (kLatencyChanged); the host re-reads
// and now gets the new value.
//
// The audio thread may not block, allocate or make system calls, and
// restartComponent must not come from it (Ardour, for one, takes its process
// lock there). So the processor only posts to its LatencyNotice (two atomic
// stores), and one process-wide LatencyCourier thread delivers the notices
// of all connected processors every kPollInterval.
#pragma once

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace QuenrilEQ {

/** Processor -> controller: the reported latency changed. Attribute
    kLatencyAttribute: the new latency in samples (int). */
constexpr const char* kLatencyChangedMessage = "QuenrilEQ.latencyChanged";
constexpr const char* kLatencyAttribute = "samples";

/** One processor's news for its controller. Shared between the processor and
    the courier, so that either may go first. */
class LatencyNotice
{
public:
	/** Records a new latency to announce. Lock-free. [audio thread, or a host
	    thread holding the processor's audio state] */
	void post (Steinberg::uint32 latencySamples) noexcept
	{
		latency.store (latencySamples, std::memory_order_relaxed);
		pending.store (true, std::memory_order_release);
	}

	/** The controller's connection point and the host context that makes
	    messages; null for either stops the deliveries. [UI thread] */
	void setPeer (Steinberg::Vst::IConnectionPoint* peer, Steinberg::FUnknown* hostContext);

	/** Sends the pending news, if any: one message, allocated here. Holds no
	    lock while the message travels. [courier thread] */
	void deliver ();

private:
	std::atomic<bool> pending {false};
	std::atomic<Steinberg::uint32> latency {0};
	std::mutex peerMutex; // never taken on the audio thread
	Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> peer;
	Steinberg::IPtr<Steinberg::Vst::IHostApplication> host;
};

/** The process-wide thread that delivers LatencyNotices. It sleeps while no
    notice is watched. */
class LatencyCourier
{
public:
	static constexpr std::chrono::milliseconds kPollInterval {10};

	static LatencyCourier& instance ();
	~LatencyCourier ();

	/** Starts delivering this notice's news. [UI thread] */
	void watch (std::shared_ptr<LatencyNotice> notice);
	/** Stops; a delivery already under way may still complete. Never waits
	    for one (it may be waiting for a host lock the caller holds). [UI thread] */
	void unwatch (const LatencyNotice* notice);

private:
	LatencyCourier () = default;
	void run ();

	std::mutex mutex;
	std::condition_variable wake;
	std::vector<std::shared_ptr<LatencyNotice>> notices;
	std::thread worker;
	bool stopping = false;
};

} // namespace QuenrilEQ
