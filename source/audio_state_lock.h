// Guards the processor's audio state (bands, values, engine) between the
// audio thread and the host's other threads. The audio thread only ever
// tries the lock and has a defined fallback when it is taken; the other
// threads wait, yielding, for at most one audio block.
#pragma once

#include <atomic>
#include <thread>

namespace QuenrilEQ {

class AudioStateLock
{
public:
	/** [audio thread] never waits. */
	bool tryLock () noexcept { return !busy.exchange (true, std::memory_order_acquire); }

	/** [UI / host threads] waits until the audio thread finished its block. */
	void lock () noexcept
	{
		while (busy.exchange (true, std::memory_order_acquire))
			std::this_thread::yield ();
	}

	void unlock () noexcept { busy.store (false, std::memory_order_release); }

private:
	std::atomic<bool> busy {false};
};

/** RAII holder for the waiting side. */
class AudioStateScope
{
public:
	explicit AudioStateScope (AudioStateLock& l) : lockRef (l) { lockRef.lock (); }
	~AudioStateScope () { lockRef.unlock (); }
	AudioStateScope (const AudioStateScope&) = delete;
	AudioStateScope& operator= (const AudioStateScope&) = delete;

private:
	AudioStateLock& lockRef;
};

} // namespace QuenrilEQ
