#pragma once
// "Electric Angle Controller Tuning Test": tunes the gains of the controller with
// which the drive finds the rotor's electric angle without moving the motor. A drive
// program raises the current step by step while the angle controller turns the
// current vector against any shaft motion; the logger records the motor current and
// the electric angle, and the program's result code gives the verdict. The angle
// should settle at -16384 (a quarter electrical turn back) within +-4550 (25 degrees).

#include <memory>

#include "host/drive/coff_format.h"
#include "host/drive/logger.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class TestAngle;
}
class CGraphWindow;

class CTestAngle : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262418;
    static const char* const kProtectionTrippedText;
    static const char* const kAngleNotSettledText;
    /// Holds one "%s": the final electric angle the program reported.
    static const char* const kAngleNotSettledAtFormat;
    static const char* const kCurrentTooLowText;

    /// Logger settings the dialog keeps itself when the setup has none.
    static constexpr unsigned kDefaultAcquisitions = 2000, kMinAcquisitions = 10,
                              kMaxAcquisitions = 5000;
    static constexpr unsigned kDefaultSamplingRate = 2, kMinSamplingRate = 1,
                              kMaxSamplingRate = 200;

    CTestAngle(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestAngle() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void BeginTest() override;
    void OnBtnStartStop() override;

    CGraphWindow* Graph() const { return graph_; }
    CMC_SingleAxisLogger* Logger() const { return logger_.get(); }
    /// The logger settings a run uses: acquisitions and sampling divider.
    unsigned Acquisitions() const;
    unsigned SamplingRate() const;

  private:
    void OnTestTick() override;
    void Step();
    void WaitProgram();
    void PlotAndJudge();
    void Judge();
    void ConfigureLogger();
    void OnDetails();
    /// Commits a dialog-own logger setting typed into `edit`; refuses a value
    /// outside [lo, hi] with a message and shows the old value again.
    void CommitOwnSetting(QLineEdit* edit, unsigned& value, unsigned lo, unsigned hi);
    bool SetupHasLoggerSettings() const;

    std::unique_ptr<Ui::TestAngle> ui_;
    CGraphWindow* graph_ = nullptr;  ///< owned by its placeholder frame
    CMC_CoffFormat program_;
    std::unique_ptr<CMC_SingleAxisLogger> logger_;
    // Used only when the setup lacks "AquisitionsNo" and "SamplingRate".
    unsigned own_acquisitions_ = kDefaultAcquisitions;
    unsigned own_sampling_rate_ = kDefaultSamplingRate;
    bool own_acquisitions_field_ = false;  ///< the field edits own_acquisitions_
    bool own_sampling_field_ = false;      ///< the field edits own_sampling_rate_
    int32_t angle_failure_ = 0;
};
