// The kernel table for the x86-64 baseline (no extra flags). Everything here is
// instantiated for this set's Isa type only, so no symbol is shared with the
// other sets' units (see kernel_table.h).
#include "isa_sse2.h"

#include "cascade_kernel.h"
#include "detector_kernel.h"
#include "frame_kernel.h"
#include "response_kernel.h"
#include "spectral_kernel.h"

namespace QuenrilEQ::kernels::sse2 {

extern const KernelTable table;
const KernelTable table {InstructionSet::kSse2, &stereoCascade<Isa>, &monoCascade<Isa>,
                         &switchingCascade<Isa>, nullptr, &detectorPass<Isa>, &spectralSum<Isa>,
                         &interleave<Isa>, &deinterleave<Isa>, &halfSumOrDifference<Isa>, &squaredMagnitudes<Isa>};

} // namespace QuenrilEQ::kernels::sse2
