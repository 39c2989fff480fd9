// Any bytes as a simulator scenario: a bench or a reason, never a crash or a hang.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "simdrive/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto scenario =
        orvex::sim::ParseScenario(std::string(reinterpret_cast<const char*>(data), size), error);
    if (scenario.has_value() == !error.empty()) std::abort();
    return 0;
}
