#pragma once

// Two doubles in one register, for the per-sample loops of the detector and
// the engine that the compiler does not vectorise on its own (comparisons
// that may meet a NaN). Each lane does exactly what the scalar code does.
// Loads and stores need only 8-byte alignment. (UnalignedLanes is a typedef:
// clang ignores a lowered alignment on a using-declaration, and would then
// assume 16 bytes.)

namespace OviMath {

using Lanes = double __attribute__((vector_size(16)));
using LaneMask = long long __attribute__((vector_size(16)));
typedef double UnalignedLanes __attribute__((vector_size(16), aligned(8), may_alias));

inline Lanes loadLanes(const double* p) { return *reinterpret_cast<const UnalignedLanes*>(p); }
inline void storeLanes(double* p, Lanes v) { *reinterpret_cast<UnalignedLanes*>(p) = v; }

} // namespace OviMath
