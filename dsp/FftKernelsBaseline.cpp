#include "FftKernels.h"

namespace corvane::rxDSP::kernels::baseline {
#include "FftKernels.inl"
} // namespace corvane::rxDSP::kernels::baseline
