#include "kernel_table.h"

#include <atomic>

namespace QuenrilEQ {

namespace kernels::sse2 { extern const KernelTable table; }
namespace kernels::avx2 { extern const KernelTable table; }
namespace kernels::avx512 { extern const KernelTable table; }

namespace {

const KernelTable& tableFor (InstructionSet set) noexcept
{
	switch (set)
	{
		case InstructionSet::kAvx512: return kernels::avx512::table;
		case InstructionSet::kAvx2: return kernels::avx2::table;
		default: return kernels::sse2::table;
	}
}

std::atomic<const KernelTable*> active {nullptr};

// The choice is made while the module loads, so no audio thread ever makes it.
[[maybe_unused]] const KernelTable& chosenAtLoad = activeKernels ();

} // namespace

bool isSupported (InstructionSet set) noexcept
{
	// Also checks that the operating system saves the wide registers.
	__builtin_cpu_init ();
	switch (set)
	{
		case InstructionSet::kSse2: return true;
		case InstructionSet::kAvx2: return __builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma");
		case InstructionSet::kAvx512: return __builtin_cpu_supports ("avx512f") && __builtin_cpu_supports ("fma");
	}
	return false;
}

const char* instructionSetName (InstructionSet set) noexcept
{
	switch (set)
	{
		case InstructionSet::kSse2: return "sse2";
		case InstructionSet::kAvx2: return "avx2";
		case InstructionSet::kAvx512: return "avx512";
	}
	return "unknown";
}

InstructionSet bestInstructionSet () noexcept
{
	for (InstructionSet set : {InstructionSet::kAvx512, InstructionSet::kAvx2})
		if (isSupported (set))
			return set;
	return InstructionSet::kSse2;
}

const KernelTable& activeKernels () noexcept
{
	const KernelTable* table = active.load (std::memory_order_relaxed);
	if (table == nullptr)
	{
		// Only before this unit's load-time initialiser has run; every caller stores the same choice.
		table = &tableFor (bestInstructionSet ());
		active.store (table, std::memory_order_relaxed);
	}
	return *table;
}

bool useInstructionSet (InstructionSet set) noexcept
{
	if (!isSupported (set))
		return false;
	active.store (&tableFor (set), std::memory_order_relaxed);
	return true;
}

} // namespace QuenrilEQ
