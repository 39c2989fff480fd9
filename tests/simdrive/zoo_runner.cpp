#include "zoo_runner.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <stdexcept>

#include "bench.h"
#include "compute/scales.h"
#include "host/setup/setup_file.h"

namespace orvex::sim::zoo {
namespace {

using testing::Bench;

// Running mean as the host computes it, over one column of logged points.
double Mean(const std::vector<drive::LogPoint>& points, std::size_t column) {
    return testing::Mean(points, column);
}

class MotorRun {
  public:
    explicit MotorRun(const std::string& motor) : motor_(motor) {
        auto loaded = axis::LoadSetupFile(ZooDir() + motor + ".setup.json");
        if (!loaded.ok()) throw std::runtime_error(loaded.error);
        setup_ = std::move(loaded.setup);
        scenario_ = testing::LoadScenario("zoo/" + motor + ".json");
    }

    double Param(const char* name) const { return setup_->GetParameterValueInBaseUnit(name); }
    // ADCmax of the setup (Compute_ADCMaxValue): the current and bus ADCs' full scale.
    double AdcMax() const { return Param("ImaxPS") * 2 * GetCurrentScale(setup_.get()); }
    double TestCurrentCounts() const {
        return std::trunc(Param("TestCurrent") * GetCurrentScale(setup_.get()));
    }
    std::unique_ptr<Bench> NewBench() const {
        return std::make_unique<Bench>(scenario_, ZooDir() + motor_ + ".setup.json");
    }
    Measurement Make(const std::string& test, const std::string& unit, double value, double truth,
                     double duration_s, bool ok) const {
        Measurement m;
        m.motor = motor_;
        m.test = test;
        m.unit = unit;
        m.value = value;
        m.truth = truth;
        m.error = test == "Vdc" ? value - truth : (truth != 0 ? value / truth - 1 : 0);
        m.duration_s = duration_s;
        m.ok = ok;
        return m;
    }

    // The supply voltage test: var_u2 scaled by the measurable maximum, rounded to
    // hundredths of a volt.
    Measurement Vdc() {
        auto bench = NewBench();
        const double start = bench->clock.Now_s();
        const bool ran = bench->Run("VDC_Detection_Test", {});
        const double vdc =
            std::round(bench->Var("var_u2") / GetVoltageMeasureScale(setup_.get()) * 100.0) / 100.0;
        return Make("Vdc", "V", vdc, scenario_.drive.bus_voltage_V, bench->clock.Now_s() - start,
                    ran);
    }

    // The phase connection test: both phase currents close to each other and to the
    // test current.
    Measurement Phases() {
        auto bench = NewBench();
        const double start = bench->clock.Now_s();
        bool ran = bench->Run("Initial_Positioning_Test", {{"In1", TestCurrentCounts()}}) &&
                   bench->Var("In1") > 0;
        ran =
            ran && bench->Run("Motor_Phase_Connection_Test", {{"RefTest", bench->Var("REFTST_V")}});
        const double scale = GetCurrentScale(setup_.get());
        const double ia = std::round(bench->Var("var_i1") / scale * 100) / 100;
        const double ib = std::round(bench->Var("var_i2") / scale * 100) / 100;
        const double it = Param("TestCurrent");
        const bool pass = ib != 0 && std::fabs(ia / ib) > 0.8 && std::fabs(ia / ib) < 1.2 &&
                          ia > 0.5 * it && ib < 2 * it;
        return Make("phase check", "A", ia, it, bench->clock.Now_s() - start, ran && pass);
    }

    // The resolution test: counts of one revolution of steps, four per line.
    Measurement Lines() {
        auto bench = NewBench();
        const double start = bench->clock.Now_s();
        bool ran = bench->Run("Initial_Positioning_Test", {{"In1", TestCurrentCounts()}}) &&
                   bench->Var("In1") > 0;
        ran = ran && bench->Run("Encoder_Resolution_And_Direction_Test",
                                {{"RefTest", bench->Var("REFTST_V")},
                                 {"PolesPairs", std::trunc(0.25 * Param("NoMotorSteps"))}},
                                {}, 120.0);
        const double v = bench->Var("var_lf_long");
        const double lines = static_cast<double>(static_cast<long long>(std::trunc(v)) / 4);
        return Make("lines", "", lines, scenario_.encoder.lines, bench->clock.Now_s() - start,
                    ran && v > 0);
    }

    // The resistance and inductance test: five programs, then the formulas of the
    // dialog with the bus voltage it measured on the way.
    std::vector<Measurement> ResistanceInductance() {
        auto bench = NewBench();
        const double start = bench->clock.Now_s();
        const double i_test = TestCurrentCounts();
        const double half = std::trunc(i_test / 2);
        bool ran =
            bench->Run("Initial_Positioning_Test", {{"In1", i_test}}) && bench->Var("In1") > 0;
        const double u_ref1 = bench->Var("REFTST_V");
        ran = ran && bench->Run("Ident_R_or_Rs", {{"In1", i_test}, {"RefTest", u_ref1}},
                                {1, 400, 1, {"IQ"}});
        const double u1 = bench->Var("var_i1");
        const auto log1 = bench->Log();
        ran =
            ran && bench->Run("Initial_Positioning_Test", {{"In1", half}}) && bench->Var("In1") > 0;
        const double u_ref2 = std::trunc(bench->Var("REFTST_V"));
        ran = ran && bench->Run("Ident_R_or_Rs", {{"In1", half}, {"RefTest", u_ref2}},
                                {2, 400, 1, {"IQ"}});
        const double u2 = bench->Var("var_i1");
        const double n_dc = bench->Var("var_u2");
        const auto log2 = bench->Log();
        ran = ran &&
              bench->Run("Ident_L_or_Tau_el", {{"In1", i_test}, {"RefTest", std::trunc(u_ref1)}},
                         {2, 400, 1, {"IQ", "ID"}});
        const double theta_inc = bench->Var("TINCTST");
        const double u3 = bench->Var("var_i1");
        const auto log3 = bench->Log();
        const double duration = bench->clock.Now_s() - start;
        ran = ran && !log1.empty() && !log2.empty() && !log3.empty();

        const double vdc = Param("VdcMaxMeasurable") * n_dc / AdcMax();
        setup_->SetParameterValueInBaseUnit("Vdc", vdc);
        const double k_i = GetCurrentScale(setup_.get());
        const double k_v = GetPwmVoltageScale(setup_.get());
        const double i1 = Mean(log1, 1), i2 = Mean(log2, 1);
        const double r = i1 != i2 ? ((u1 - u2) / (i1 - i2)) / k_v * k_i : 0.0;
        double m_d = Mean(log3, 2), m_sq = 0;
        for (std::size_t k = 0; k < log3.size(); ++k) {
            const double sq = log3[k][1] * log3[k][1] + log3[k][2] * log3[k][2];
            m_sq += (sq - m_sq) / static_cast<double>(k + 1);
        }
        const double w =
            theta_inc * 2 * std::numbers::pi / (GetCurrentLoopPeriod(setup_.get()) * 65535);
        const double l = w > 0 && m_sq > 0 ? (m_d * u3) / (w * m_sq) * k_i / k_v : 0.0;
        const bool l_ok = l >= 50e-6 && l <= 1.0;
        return {Make("R", "Ohm", r, scenario_.motor.phase_resistance_ohm, duration, ran),
                Make("L", "H", l, scenario_.motor.phase_inductance_H, duration, ran && l_ok),
                Make("Vdc (R test)", "V", vdc, scenario_.drive.bus_voltage_V, duration, ran)};
    }

    // The total inertia test with the setup's test current, protection and speed.
    Measurement Inertia() {
        auto bench = NewBench();
        const double start = bench->clock.Now_s();
        const double i_test = TestCurrentCounts();
        const double k_i = GetCurrentScale(setup_.get());
        const double k_sm = GetMotorSpeedScale(setup_.get());
        bool ran =
            bench->Run("Initial_Positioning_Test", {{"In1", i_test}}) && bench->Var("In1") > 0;
        ran = ran &&
              bench->Run("Total_Inertia_Identification_Test",
                         {{"RefTest", bench->Var("REFTST_V")},
                          {"In1", i_test},
                          {"LimitSpeedMax", std::trunc(Param("TestMaxSpeed") * k_sm)},
                          {"Imax_Prot_Test", std::trunc(Param("TestProtectionCurrent") * k_i)}});
        const double flag = bench->Var("test_flag"), dt = bench->Var("delta_time");
        const double dv = bench->Var("delta_speed");
        const bool ok = ran && flag > 0 && dt > 0 && dv != 0;
        const double j =
            ok ? (k_sm / k_i) * dt * GetSpeedLoopPeriod(setup_.get()) * Param("K") / dv * i_test
               : 0.0;
        return Make("Jt", "kg*m^2", j,
                    scenario_.motor.rotor_inertia_kgm2 + scenario_.load.inertia_kgm2,
                    bench->clock.Now_s() - start, ok);
    }

  private:
    std::string motor_;
    std::unique_ptr<CMC_Setup> setup_;
    Scenario scenario_;
};

}  // namespace

std::string ZooDir() {
    return std::string(ORVEX_RESOURCE_DIR) + "/sim/zoo/";
}

std::vector<std::string> Motors() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(ZooDir())) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 5 && file.ends_with(".json") && !file.ends_with(".setup.json"))
            names.push_back(file.substr(0, file.size() - 5));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Measurement> Identify(const std::string& motor) {
    MotorRun run(motor);
    std::vector<Measurement> out;
    out.push_back(run.Vdc());
    out.push_back(run.Phases());
    out.push_back(run.Lines());
    for (auto& m : run.ResistanceInductance()) out.push_back(m);
    out.push_back(run.Inertia());
    return out;
}

}  // namespace orvex::sim::zoo
