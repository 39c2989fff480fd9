#include "identification/gain_writes.h"

#include "host/setup/setup.h"

namespace orvex {

bool WriteOptionsToDrive(CMC_Setup* setup, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        CMC_Parameter* option = setup->FindParameter(name);
        if (!option || !option->WriteToChip()) return false;
    }
    return true;
}

}  // namespace orvex
