#include "simdrive/program_runner.h"

#include <algorithm>

namespace orvex::sim {

RunResult WaitForProgramEnd(drive::DriveLink& link, ManualClock& clock, double timeout_s,
                            double poll_s) {
    RunResult result;
    const double start = clock.Now_s();
    while (clock.Now_s() - start < timeout_s) {
        clock.Advance(poll_s);
        double started = 0;
        bool on = true;
        if (!link.ReadVariable("STARTED", started) || !link.GetAxisOn(on)) break;
        if (started != 0 && !on) {
            result.finished = true;
            break;
        }
    }
    result.elapsed_s = clock.Now_s() - start;
    return result;
}

void RunFor(drive::DriveLink& link, ManualClock& clock, double duration_s, double poll_s) {
    const double end = clock.Now_s() + duration_s;
    while (clock.Now_s() + 1e-12 < end) {
        clock.Advance(std::min(poll_s, end - clock.Now_s()));
        bool on = false;
        link.GetAxisOn(on);
    }
}

}  // namespace orvex::sim
