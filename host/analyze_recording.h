#pragma once

// A whole recording through the session: the options' channels read block by
// block, the recording's events and the options' events files matched to
// the rows, and the summary at the end.

#include <functional>

#include "options.h"
#include "recording.h"
#include "session.h"
#include "summary.h"

namespace kalo::host {

using ProgressSink = std::function<void(double fraction)>;

// Every event the analysis matches: the recording's own, then each events
// file's in the order given.
std::vector<Event> eventsFor(const Recording& recording, const Options& options);

Summary analyseRecording(Recording& recording, const Options& options, const Session::RowSink& rows,
                         const ProgressSink& progress = {});

} // namespace kalo::host
