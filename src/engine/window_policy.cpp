#include "engine/window_policy.h"

#include <cstdint>

#include "shared/status_boundary.h"

namespace OviMath::MathLib {

namespace {

// a x b for two settings, kept within int: a count of windows beyond that is
// as good as never reached.
int saturatedProduct(int a, int b) {
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    return product > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(product);
}

} // namespace

WindowPolicy::WindowPolicy(const _MathLibSetting& mathLib, const _ArtifactDetectSetting& artifactDetect)
    : channelForAnalysis(mathLib.channel_for_analysis),
      artifactSequenceWins(saturatedProduct(artifactDetect.artifact_sequence_sec, mathLib.process_win_freq)) {}

void WindowPolicy::setPrioritySide(_SideType side) {
    if (side != LEFT && side != RIGHT && side != NONE)
        Status::refuse("Priority side must be LEFT (0), RIGHT (1) or NONE (2)");
    prioritySide = side;
}

void WindowPolicy::setSkipWinsAfterArtifact(int windows) {
    if (windows < 0)
        Status::refuse("Windows to skip after an artifact must be 0 or more");
    skipWinsAfterArtifact = windows;
}

WindowPolicy::CleanWindow WindowPolicy::processData() {
    if (artifactedWinsInRow == 0)
        return {false, true};
    if (winsToSkip > 0) {
        --winsToSkip;
        return {true, false};
    }
    artifactedWinsInRow = 0;
    return {true, true};
}

void WindowPolicy::channelsJudged(bool anyClean, const std::vector<char>& verdicts,
                                  const std::vector<double>& qualities) {
    const std::size_t analysed = static_cast<std::size_t>(channelForAnalysis);
    if (verdicts[analysed] || qualities[analysed] < 30.0) {
        std::size_t best = 0;
        for (std::size_t c = 1; c < qualities.size(); ++c)
            if (qualities[c] > qualities[best])
                best = c;
        channelForAnalysis = static_cast<int>(best);
    }
    if (anyClean) {
        artifactedSequence = false;
        artifactedWinsInRow = 0;
    } else {
        artifactedWindow();
    }
}

void WindowPolicy::artifactedWindow() {
    bothSidesArtifacted = true;
    if (artifactedWinsInRow < std::numeric_limits<int>::max())
        ++artifactedWinsInRow;
    if (artifactedWinsInRow > artifactSequenceWins)
        artifactedSequence = true;
}

} // namespace OviMath::MathLib
