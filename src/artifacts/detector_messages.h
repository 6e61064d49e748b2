#pragma once

// The fixed messages of the artifact detector's refusals.

#include "shared/status.h"

namespace OviMath::Artifacts::Messages {

inline constexpr Status::FixedMessage artifactMathPointerIsNull =
    Status::fixedMessage("ArtifactMAthLib pointer is null!");
inline constexpr Status::FixedMessage wrongArtifactSetting =
    Status::fixedMessage("Wrong settings for ArtifactSetting!");

} // namespace OviMath::Artifacts::Messages
