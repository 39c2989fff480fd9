#pragma once
// "Encoder Resolution And Direction Test": aligns the rotor with the test current,
// then turns the field by one revolution of motor steps; the counts the encoder
// moved give the counting direction and, through the table of standard encoders,
// the lines per revolution, which the user may take over into "No_encoder_lines"
// when closing.

#include <memory>

#include "host/drive/coff_format.h"
#include "host/plot/resolution.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class DetectEncoderResolution;
}
class CEncoderDiagram;

class CDetectEncoderResolution : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262414;
    /// Failure: no counts seen (encoder, phases or too little current).
    static const char* const kNoMovementText;
    /// Failure: counted backwards (channels or phases swapped).
    static const char* const kReversedText;

    CDetectEncoderResolution(CMC_Setup* setup, int flag, QWidget* parent);
    ~CDetectEncoderResolution() override;

    bool OnInitDialog() override;
    /// Close: offers the estimated lines per revolution when they differ from
    /// "No_encoder_lines". Yes writes them and confirms, No confirms without writing,
    /// Cancel keeps the dialog open.
    void OnCancel() override;
    /// Remembers a "ReverseCounting" the user set, for the launching dialog.
    void OnChangedParameterValue(const char* name) override;
    void BeginTest() override;

    /// The estimated encoder lines per revolution (0 before a run).
    int EstimatedLines() const { return estimated_lines_; }
    /// The last "ReverseCounting" set in this dialog, -1 when the user never did.
    int LastReverseCounting() const { return last_reverse_counting_; }
    CEncoderDiagram* Diagram() const { return diagram_; }

    /// After an evaluated run: the estimated lines and the counts of the revolution.
    std::vector<IdentifiedValue> IdentifiedValues() const override;
    std::vector<std::string> ResultParameterNames() const override { return {"No_encoder_lines"}; }

  private:
    void OnTestTick() override;
    void WaitPreliminary();
    void LaunchResolutionProgram();
    void WatchRevolution();
    void Evaluate();
    bool HasReverseCounting() const;

    std::unique_ptr<Ui::DetectEncoderResolution> ui_;
    CEncoderDiagram* diagram_ = nullptr;  ///< owned by its placeholder frame
    CResolution resolutions_;
    CMC_CoffFormat preliminary_program_;
    CMC_CoffFormat resolution_program_;
    double reference_voltage_ = 0.0;  ///< U_ref (PWM voltage counts)
    int32_t estimated_lines_ = 0;     ///< B
    double revolution_counts_ = 0.0;  ///< v, the counts of the last evaluated revolution
    bool evaluated_ = false;          ///< the last run got as far as its verdict
    bool movement_seen_ = false;
    int32_t last_reverse_counting_ = -1;
};
