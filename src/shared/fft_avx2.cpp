// The four-lane kernel of the transform. sources.cmake compiles this file,
// and only this file, with -mavx2 (no -mfma: the arithmetic must stay
// unfused); FftPlan calls it only on a processor that reports AVX2.
#if defined(__x86_64__) || defined(__i386__)
#define KALO_FFT_LANES 4
#define KALO_FFT_ENTRY avx2
#include "shared/fft_kernel_body.h"
#endif
