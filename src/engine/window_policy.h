#pragma once

// The window policy: which side or channel a window is analysed on, the
// skip period after an artifact, and the artifact flags the host polls. It
// decides from the detectors' verdicts; it neither copies nor analyses a
// window.
//
// In bipolar mode the side detectors are asked in the order of the priority
// policy; after an artifacted run the next skipWinsAfterArtifact clean
// windows repeat the previous records, and the window after them yields a
// repeat and then its computed records. In multichannel mode the analysis
// may move to the channel of best quality, and there is no skip period.

#include <limits>
#include <optional>
#include <vector>

#include "kalo_artifacts/types.h"

namespace OviMath::MathLib {

class WindowPolicy {
public:
    WindowPolicy(const _MathLibSetting& mathLib, const _ArtifactDetectSetting& artifactDetect);

    // Refuses (code 1) a value other than LEFT, RIGHT or NONE; the policy in
    // force stays.
    void setPrioritySide(_SideType side);
    // Refuses (code 1) a negative count.
    void setSkipWinsAfterArtifact(int windows);

    // A window past the start-up period begins.
    void windowStarts() { bothSidesArtifacted = false; }

    // Bipolar: the side to analyse, asking artifacted(side) of the sides in
    // the order of the priority policy; none when both are artifacted, which
    // makes the window an artifacted one (its records repeat the previous).
    template <class Artifacted>
    std::optional<_SideType> sideToAnalyse(Artifacted&& artifacted);

    // What a window analysed on a clean side adds: a repeat of the previous
    // records, its computed records, or both (a repeat first).
    struct CleanWindow {
        bool repeat;
        bool compute;
    };
    CleanWindow processData();

    // Multichannel, once every channel is judged: a channel that is
    // artifacted or of poor quality hands the analysis to the channel of best
    // quality (the first of equals), artifacted or not. `anyClean` false
    // makes the window an artifacted one.
    void channelsJudged(bool anyClean, const std::vector<char>& verdicts, const std::vector<double>& qualities);
    int analysedChannel() const { return channelForAnalysis; }

    bool isArtifactedSequence() const { return artifactedSequence; }
    bool isBothSidesArtifacted() const { return bothSidesArtifacted; }

private:
    // Under a priority the other side's detector is asked only when the
    // preferred side is artifacted.
    template <class Artifacted>
    std::optional<_SideType> processWindowPreferring(_SideType preferred, Artifacted& artifacted);
    template <class Artifacted>
    std::optional<_SideType> processWindowLeftPriority(Artifacted& artifacted) {
        return processWindowPreferring(LEFT, artifacted);
    }
    template <class Artifacted>
    std::optional<_SideType> processWindowRightPriority(Artifacted& artifacted) {
        return processWindowPreferring(RIGHT, artifacted);
    }
    template <class Artifacted>
    std::optional<_SideType> processWindowNoPriority(Artifacted& artifacted);
    // Every side or channel artifacted: the run grows, and a sequence is
    // reported once it is long enough.
    void artifactedWindow();

    _SideType prioritySide = NONE;
    _SideType currentSide = LEFT;
    int channelForAnalysis;
    int artifactedWinsInRow = 0;
    int winsToSkip = 5;
    int skipWinsAfterArtifact = 10;
    int artifactSequenceWins;
    bool bothSidesArtifacted = false;
    bool artifactedSequence = false;
};

template <class Artifacted>
std::optional<_SideType> WindowPolicy::sideToAnalyse(Artifacted&& artifacted) {
    const std::optional<_SideType> side = prioritySide == LEFT    ? processWindowLeftPriority(artifacted)
                                          : prioritySide == RIGHT ? processWindowRightPriority(artifacted)
                                                                  : processWindowNoPriority(artifacted);
    if (side) {
        artifactedSequence = false;
    } else {
        // Both sides artifacted: the skip period starts again.
        winsToSkip = skipWinsAfterArtifact;
        artifactedWindow();
    }
    return side;
}

template <class Artifacted>
std::optional<_SideType> WindowPolicy::processWindowPreferring(_SideType preferred, Artifacted& artifacted) {
    const _SideType other = preferred == LEFT ? RIGHT : LEFT;
    if (!artifacted(preferred))
        return preferred;
    if (!artifacted(other))
        return other;
    return std::nullopt;
}

// Without a priority both detectors judge every window, and the analysis
// stays on one side while it is clean, moving only when it becomes
// artifacted.
template <class Artifacted>
std::optional<_SideType> WindowPolicy::processWindowNoPriority(Artifacted& artifacted) {
    const bool leftArtifacted = artifacted(LEFT);
    const bool rightArtifacted = artifacted(RIGHT);
    if (leftArtifacted && rightArtifacted)
        return std::nullopt;
    if (currentSide == LEFT && leftArtifacted)
        currentSide = RIGHT;
    else if (currentSide == RIGHT && rightArtifacted)
        currentSide = LEFT;
    return currentSide;
}

} // namespace OviMath::MathLib
