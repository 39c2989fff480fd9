#include "compute/sequences.h"

#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/units_transmission.h"

namespace orvex {

void ComputeOptionsFromParameters(CMC_Setup* s) {
    ComputeOption_PWMPER(s);
}

void ReadBackParametersFromOptions(CMC_Setup* s) {
    ReadBack_PWM_freq(s);
    ReadBack_PWMperiod(s);
    ReadBack_Ts_C(s);
    ReadBack_Ts_S(s);
}

void ComputeAllOptions(CMC_Setup* s) {
    if (!s) return;
    ReadBackParametersFromOptions(s);
    UpdateUnitTypesByTransmission(s);
    UpdateStepUnits(s);
}

}  // namespace orvex
