// Any bytes as a setup file: loaded or refused with a message, never a crash, a
// hang or a leak; what loads saves and loads again to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/setup/setup_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    g_bShowErrors = 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const axis::SetupLoadResult first = axis::ParseSetup(text, "fuzz");
    if (first.ok() != first.error.empty()) std::abort();  // exactly one of setup and reason
    if (!first.ok()) return 0;
    const std::string saved = axis::SerializeSetup(*first.setup);
    const axis::SetupLoadResult second = axis::ParseSetup(saved, "saved");
    if (!second.ok() || axis::SerializeSetup(*second.setup) != saved) std::abort();
    return 0;
}
