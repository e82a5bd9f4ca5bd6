// The kernel table for AVX-512 (compiled with -mavx512f -mfma). Everything here is
// instantiated for this set's Isa type only, so no symbol is shared with the
// other sets' units (see kernel_table.h).
#include "isa_avx512.h"

#include "cascade_kernel.h"
#include "design_kernel.h"
#include "detector_kernel.h"
#include "frame_kernel.h"
#include "response_kernel.h"
#include "spectral_kernel.h"

namespace QuenrilEQ::kernels::avx512 {

extern const KernelTable table;
const KernelTable table {InstructionSet::kAvx512, &stereoCascade<Isa>, &monoCascade<Isa>,
                         &switchingCascade<Isa>, &gainDesigns<Isa>, &detectorPass<Isa>, &spectralSum<Isa>,
                         &interleave<Isa>, &deinterleave<Isa>, &halfSumOrDifference<Isa>, &squaredMagnitudes<Isa>};

} // namespace QuenrilEQ::kernels::avx512
