// Flushes denormal numbers to zero for the lifetime of the guard: decaying
// filter tails would otherwise fall into the slow denormal range.
#pragma once

#include <xmmintrin.h>

namespace QuenrilEQ {

class DenormalGuard
{
public:
	DenormalGuard () noexcept : saved (_mm_getcsr ()) { _mm_setcsr (saved | kFlushToZero | kDenormalsAreZero); }
	~DenormalGuard () { _mm_setcsr (saved); }
	DenormalGuard (const DenormalGuard&) = delete;
	DenormalGuard& operator= (const DenormalGuard&) = delete;

private:
	static constexpr unsigned kFlushToZero = 0x8000;
	static constexpr unsigned kDenormalsAreZero = 0x0040;
	unsigned saved;
};

} // namespace QuenrilEQ
