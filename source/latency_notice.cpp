#include "latency_notice.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace QuenrilEQ {

void LatencyNotice::setPeer (IConnectionPoint* newPeer, FUnknown* hostContext)
{
	FUnknownPtr<IHostApplication> application (hostContext);
	std::lock_guard<std::mutex> lock (peerMutex);
	peer = newPeer;
	host = newPeer ? IPtr<IHostApplication> (application) : nullptr;
}

void LatencyNotice::deliver ()
{
	if (!pending.exchange (false, std::memory_order_acquire))
		return;
	IPtr<IConnectionPoint> to;
	IPtr<IMessage> message;
	{
		std::lock_guard<std::mutex> lock (peerMutex);
		if (!peer || !host)
			return;
		// The peer stays alive while the message travels, whatever the host
		// does meanwhile; the host's own objects are only used under the lock.
		to = peer;
		message = owned (allocateMessage (host));
	}
	if (!message)
		return;
	message->setMessageID (kLatencyChangedMessage);
	if (IAttributeList* attributes = message->getAttributes ())
		attributes->setInt (kLatencyAttribute, latency.load (std::memory_order_relaxed));
	to->notify (message);
}

LatencyCourier& LatencyCourier::instance ()
{
	static LatencyCourier courier;
	return courier;
}

LatencyCourier::~LatencyCourier ()
{
	{
		std::lock_guard<std::mutex> lock (mutex);
		stopping = true;
		notices.clear ();
	}
	wake.notify_one ();
	if (worker.joinable ())
		worker.join ();
}

void LatencyCourier::watch (std::shared_ptr<LatencyNotice> notice)
{
	if (!notice)
		return;
	std::lock_guard<std::mutex> lock (mutex);
	if (std::find (notices.begin (), notices.end (), notice) == notices.end ())
		notices.push_back (std::move (notice));
	if (!worker.joinable ())
		worker = std::thread ([this] { run (); });
	wake.notify_one ();
}

void LatencyCourier::unwatch (const LatencyNotice* notice)
{
	std::lock_guard<std::mutex> lock (mutex);
	notices.erase (std::remove_if (notices.begin (), notices.end (),
	                               [notice] (const auto& n) { return n.get () == notice; }),
	               notices.end ());
}

void LatencyCourier::run ()
{
	std::unique_lock<std::mutex> lock (mutex);
	while (!stopping)
	{
		if (notices.empty ())
		{
			wake.wait (lock);
			continue;
		}
		// Delivered without the lock: a message may wait on host locks, and
		// the host's own thread may meanwhile want to unwatch.
		std::vector<std::shared_ptr<LatencyNotice>> round = notices;
		lock.unlock ();
		for (const auto& notice : round)
			notice->deliver ();
		round.clear ();
		lock.lock ();
		wake.wait_for (lock, kPollInterval);
	}
}

} // namespace QuenrilEQ
