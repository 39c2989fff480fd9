// The editor base: a changed gain is encoded and read back at once, the step units
// follow the step count, and the electric angle controller's current limit follows
// the rated currents; names match without regard to case.
#include "editor/my_setup_dlg.h"

#include <QLineEdit>
#include <QVBoxLayout>

#include "compute/control_loop_options.h"
#include "editor_fixture.h"
#include "host/ui/parameter_binding.h"

namespace {

// A CMySetupDlg with one edit field per parameter name asked for.
class FieldsDialog : public CMySetupDlg {
  public:
    FieldsDialog(CMC_Setup* setup, std::initializer_list<const char*> names)
        : CMySetupDlg(setup, new QWidget, 1, nullptr, nullptr) {
        auto* column = new QVBoxLayout(Layout());
        for (const char* name : names) {
            auto* edit = new QLineEdit(Layout());
            column->addWidget(edit);
            fields[name] = edit;
            AddParameterControls(name, edit);
        }
    }
    QLineEdit* Field(const char* name) { return fields.at(name); }
    std::map<std::string, QLineEdit*> fields;
};

class MySetupDlgTest : public EditorTest {};

TEST_F(MySetupDlgTest, ChangedGainsAreEncodedAndTheFieldShowsTheReadBack) {
    struct Case {
        const char* gain;
        const char* typed;
        const char* mantissa;
        const char* shift;
        double mantissa_value;
        double shift_value;
    };
    const Case cases[] = {
        {"Kp_C_scl", "3", "KPI", "SFTKPI", 3 * 32767.0 / 4, 2},
        {"Ki_C_scl", "0.5", "KII", "SFTKII", 32767.0 / 2, 0},
        {"Kp_S_scl", "16384", "KPS", "SFTKPS", 32767, 14},
        {"Ki_S_scl", "1", "KIS", "SFTKIS", 32767, 0},
        {"Kp_P_scl", "5", "KPP", "SFTKPP", 5 * 32767.0 / 8, 3},
        {"Ki_P_scl", "0.25", "KIP", "SFTKIP", 32767.0 / 4, 0},
        {"Kd_P_scl", "100", "KDP", "SFTKDP", 100 * 32767.0 / 128, 7},
        {"KFFS_scl", "2", "KFFS", "SFTSFFW", 32767, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gain);
        FieldsDialog dlg(setup.get(), {c.gain});
        TypeInto(dlg.Field(c.gain), c.typed);
        EXPECT_DOUBLE_EQ(Value(c.mantissa), c.mantissa_value);
        EXPECT_DOUBLE_EQ(Value(c.shift), c.shift_value);
        // The field shows what the options hold, decoded.
        const double decoded = c.mantissa_value * std::pow(2.0, c.shift_value) / 32767.0;
        EXPECT_EQ(dlg.Field(c.gain)->text(), axis::FormatParameterValue(decoded));
    }
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST_F(MySetupDlgTest, AccelerationFeedForwardSplitsItsShiftAtEleven) {
    FieldsDialog dlg(setup.get(), {"KFFA_scl"});
    TypeInto(dlg.Field("KFFA_scl"), "32768");
    EXPECT_EQ(Value("SFTAFFW"), 11);
    EXPECT_EQ(Value("SFTKFF"), 4);
    EXPECT_DOUBLE_EQ(Value("KFFA"), 32767);
    EXPECT_EQ(dlg.Field("KFFA_scl")->text(), "32768");
}

TEST_F(MySetupDlgTest, NamesMatchWithoutRegardToCase) {
    FieldsDialog dlg(setup.get(), {});
    Set("Kp_C_scl", 3.0);
    dlg.OnChangedParameterValue("kP_c_SCL");
    EXPECT_EQ(Value("SFTKPI"), 2);
    EXPECT_DOUBLE_EQ(Value("KPI"), 3 * 32767.0 / 4);
}

TEST_F(MySetupDlgTest, RatedCurrentsLimitTheAngleControllersCurrent) {
    FieldsDialog dlg(setup.get(), {"In", "InPS", "MAX_CURRENT"});
    TypeInto(dlg.Field("In"), "1.5");
    EXPECT_DOUBLE_EQ(setup->FindParameter("MAX_CURRENT")->GetMaxInBaseUnit(), 1.5);
    // The field refuses by the new range.
    TypeInto(dlg.Field("MAX_CURRENT"), "1.6");
    EXPECT_EQ(seam.MessageTexts().back(), "Enter a value between 0 and 1.5 A.");
    TypeInto(dlg.Field("InPS"), "1.2");
    EXPECT_DOUBLE_EQ(setup->FindParameter("MAX_CURRENT")->GetMaxInBaseUnit(), 1.2);
}

TEST_F(MySetupDlgTest, WithoutTheAngleControllerRatedCurrentsChangeNothingElse) {
    CMC_Setup plain;
    plain.AddParameter("In", kTypeReal, "A", "A", 2.8, 0.01, 20);
    plain.AddParameter("InPS", kTypeReal, "A", "A", 5, 0.01, 100);
    plain.AddParameter("MAX_CURRENT", kTypeReal, "A", "A", 2, 0, 10);
    FieldsDialog dlg(&plain, {"In"});
    TypeInto(dlg.Field("In"), "1.5");
    EXPECT_DOUBLE_EQ(plain.GetParameterValueInBaseUnit("In"), 1.5);
    EXPECT_DOUBLE_EQ(plain.FindParameter("MAX_CURRENT")->GetMaxInBaseUnit(), 10);
}

TEST_F(MySetupDlgTest, StepCountRebuildsStepUnitsAndRedrawsValuesShownInThem) {
    ASSERT_TRUE(orvex::UpdateStepUnits(setup.get()));
    ASSERT_TRUE(setup->ChangeParameterUnit("ERR_position", "steps"));
    FieldsDialog dlg(setup.get(), {"NoMotorSteps", "ERR_position"});
    const double before = setup->GetParameterValue("ERR_position");
    TypeInto(dlg.Field("NoMotorSteps"), "400");
    EXPECT_DOUBLE_EQ(setup->GetParameterValue("ERR_position"), 2 * before);
    EXPECT_EQ(dlg.Field("ERR_position")->text(), axis::FormatParameterValue(2 * before));
}

}  // namespace
