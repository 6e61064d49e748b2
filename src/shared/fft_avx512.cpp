// The eight-lane kernel of the transform. sources.cmake compiles this file,
// and only this file, with -mavx512f; FftPlan calls it only on a processor
// that reports AVX-512F. AVX-512F includes fused multiply-add instructions,
// but with -ffp-contract=off the compiler never forms them from the
// separate products and sums written here.
#if defined(__x86_64__) || defined(__i386__)
#define KALO_FFT_LANES 8
#define KALO_FFT_ENTRY avx512
#include "shared/fft_kernel_body.h"
#endif
