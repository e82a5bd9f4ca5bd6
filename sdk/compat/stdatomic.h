// The C11 <stdatomic.h> names the SDK's reference counting uses, for C++17
// compilers whose own <stdatomic.h> is C only. Without them the SDK counts
// references on Linux with an atomic add followed by a plain read, which
// lets two threads releasing the last references both see zero.
#pragma once

#include <atomic>

using std::atomic_fetch_add;
using std::atomic_int_least32_t;
