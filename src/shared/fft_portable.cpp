// The two-lane kernel of the transform, in the library's baseline
// instruction set (SSE2 on x86-64): the path every processor can take.
#define KALO_FFT_LANES 2
#define KALO_FFT_ENTRY portable
#include "shared/fft_kernel_body.h"
