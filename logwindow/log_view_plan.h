// What one step of the log view removes, and how: the rule that keeps the view near 64K characters.
#pragma once

#include "logwindow/log_text.h"
#include "logwindow/log_waiting_text.h"

#include <cstddef>

struct LogViewStep {
    // How many characters of the view, then of the waiting text, go from the
    // front. What stays is the newest text, from just past a line break (or
    // from the cut itself when no line break follows it closely).
    size_t removed;
    // The view is made anew with what stays, rather than edited: deleting
    // from a long paragraph costs the control far more than laying out the
    // whole view once.
    bool fresh;
};

// The step that shows `waiting` in a view holding `view`: as a trim before
// each text would leave it, never more than kLogTrimAbove plus one
// datagram's text, and never less than a trim keeps once that much came.
LogViewStep PlanLogViewStep(const CLogText& view, const CLogWaitingText& waiting);
