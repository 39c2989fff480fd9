// Any bytes as a drive program descriptor: loaded or refused with a reason, never a
// crash or a hang; a loaded one names a plain program and lists STARTED.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/drive/coff_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CMC_CoffFormat program;
    program.SetFileName("fuzz.json");
    const int loaded =
        program.ReadCoffText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (loaded != (program.IsLoaded() ? 1 : 0)) std::abort();
    if (loaded &&
        (axis::ProgramPath(program.GetProgramName()).empty() || !program.FindVariable("STARTED")))
        std::abort();
    if (!loaded && program.GetErrorText().empty()) std::abort();
    return 0;
}
