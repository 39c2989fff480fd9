#pragma once
// "Encoder Connections Test": with the power stage off, the user turns the motor
// shaft by hand while the dialog shows the encoder position, the captured index
// position and the shaft angle. Runs until Stop; passes when pulses were seen.

#include <memory>

#include "identification/my_test_dlg.h"

namespace Ui {
class TestEncoderConnections;
}
class CEncoderDiagram;

class CTestEncoderConnections : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262413;
    /// The failure of a Stop without any encoder pulse.
    static const char* const kNoPulsesText;

    CTestEncoderConnections(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestEncoderConnections() override;

    bool OnInitDialog() override;
    void BeginTest() override;
    /// Start as the host does it; Stop ends the run: success when pulses were seen.
    void OnBtnStartStop() override;

    CEncoderDiagram* Diagram() const { return diagram_; }

  private:
    void OnTestTick() override;
    void Stop();

    std::unique_ptr<Ui::TestEncoderConnections> ui_;
    CEncoderDiagram* diagram_ = nullptr;  ///< owned by its placeholder frame
    int32_t lines_ = 0;                   ///< N, "No_encoder_lines"
    int32_t position_ = 0;                ///< position modulo 4N
    int32_t previous_position_ = 0;
    bool pulses_seen_ = false;
    bool index_capture_armed_ = false;
};
