#pragma once

#include "kalo_artifacts/detector.h"

namespace OviMath::Artifacts::Settings {

// The longest window a detector accepts: the largest transform length that
// the power-of-two rule can always reach from a window.
inline constexpr int longestWindow = 131072;

// Success, or code 1 with "Wrong settings for ArtifactSetting!". A null
// pointer fails.
OviMath::Types::_OutStatus checkSettingArtifactsSetting(const Types::_ArtifactSetting* settings);
bool checkArtifactsMathLibSetting(const Types::_ArtifactSetting* settings);

} // namespace OviMath::Artifacts::Settings
