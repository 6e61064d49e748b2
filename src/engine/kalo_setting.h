#pragma once

// The engine's settings check, which createMathLib runs before any engine
// exists; hence a namespace of its own (OviMath::Math), apart from the
// engine's OviMath::MathLib.

#include "kalo_artifacts/types.h"

namespace OviMath::Math {

// Validates the engine's four settings records in order and stops at the
// first that fails: a success status, or code 1 with the failing record's
// message. Reads the records, changes nothing, never throws. A null pointer
// counts as a failing record.
Types::_OutStatus checkSettingMathLib(const Types::_MathLibSetting* mathLib,
                                      const Types::_ArtifactDetectSetting* artifactDetect,
                                      const Types::_ShortArtifactDetectSetting* shortArtifactDetect,
                                      const Types::_MentalAndSpectralSetting* mentalAndSpectral);

} // namespace OviMath::Math
