#include <mutex>

#include "kalo_artifacts/types.h"

// Serialises every call of the engine's C interface across all engines of the
// process. std::mutex is constant-initialised and has a trivial destructor,
// so it exists before any host call and outlives them all.
std::mutex g_lock;
