#pragma once
// Runs a drive program to its end the way the host does: poll every 20 ms of
// simulated time until STARTED is nonzero and the power stage is off.

#include "host/link/drive_link.h"
#include "simdrive/clock.h"

namespace orvex::sim {

struct RunResult {
    bool finished = false;
    /// Simulated time from the start to the poll that saw the end [s].
    double elapsed_s = 0;
};

/// Advances `clock` in `poll_s` steps until the running program has finished (the
/// completion rule) or `timeout_s` has passed.
RunResult WaitForProgramEnd(drive::DriveLink& link, ManualClock& clock, double timeout_s = 60.0,
                            double poll_s = 0.02);

/// Advances `clock` by `duration_s` in `poll_s` steps (a continuous program runs).
void RunFor(drive::DriveLink& link, ManualClock& clock, double duration_s, double poll_s = 0.02);

}  // namespace orvex::sim
