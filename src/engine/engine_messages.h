#pragma once

// The fixed messages of the engine's refusals.

#include "shared/status.h"

namespace OviMath::MathLib::Messages {

using Status::fixedMessage;

inline constexpr Status::FixedMessage mathLibPointerIsNull = fixedMessage("MathLib pointer is null!");
inline constexpr Status::FixedMessage countDataIsEmpty = fixedMessage("Count data is empty");
inline constexpr Status::FixedMessage usePushDataArr = fixedMessage("Use PushDataArr() for non-bipolar mode!");
inline constexpr Status::FixedMessage usePushData = fixedMessage("Use PushData() for bipolar mode!");
inline constexpr Status::FixedMessage wrongMathLibSetting = fixedMessage("Wrong settings for MathLibSetting!");
inline constexpr Status::FixedMessage wrongArtifactDetectSetting =
    fixedMessage("Wrong settings for ArtifactDetectSetting!");
inline constexpr Status::FixedMessage wrongShortArtifactDetectSetting =
    fixedMessage("Wrong settings for ShortArtifactDetectSetting!");
inline constexpr Status::FixedMessage wrongMentalAndSpectralSetting =
    fixedMessage("Wrong settings for Mental & Spectral Settings");

} // namespace OviMath::MathLib::Messages
