#pragma once
// Data loggers: a drive program records chosen variables into the drive's logger
// buffer while it runs; after the run the host uploads the points and the test
// reads them one after the other. A point is time (seconds since logging began),
// then one value per logged variable in the order added, in drive units.

#include <memory>
#include <string>
#include <vector>

#include "host/link/drive_link.h"

class CMC_Comm;
class QWidget;
class CMC_CoffFormat;
class CMC_Setup;
class CGraphDocument;

class CMC_Logger {
  public:
    /// The logger buffer of the drive holds this many values (all variables of all
    /// points together) unless the setup's setting "LoggerBufferValues" says
    /// otherwise.
    static constexpr unsigned kDefaultBufferValues = 16384;

    /// `program` may be null: the logger then records whatever program it is handed
    /// to at ExecuteCode.
    CMC_Logger(CMC_Setup* setup, CMC_CoffFormat* program);
    virtual ~CMC_Logger();
    CMC_Logger(const CMC_Logger&) = delete;
    CMC_Logger& operator=(const CMC_Logger&) = delete;

    /// Adds a drive variable to record; `flag` is kept for the host's callers (always
    /// 1) and has no effect. 0 for an empty name or one already added.
    int AddVariable(const std::string& name, int flag = 1);
    const std::vector<std::string>& GetVariables() const { return variables_; }

    /// Lowers the number of points to what the drive's buffer holds for the
    /// variables added; returns the number of points.
    unsigned CorrectPointsNo();
    /// Asks the drive for each logged variable; nonzero when it knows them all (else
    /// GetErrorText names the first it does not know).
    int LocateItems();
    /// Points one run records.
    unsigned GetPointsNo() const { return points_; }

    /// Takes the recorded points from the drive; nonzero on success. The point reader
    /// then starts at the first point.
    virtual int BeginUploadData();
    /// Nonzero while an upload is still running (the data logger uploads at once).
    virtual int UploadInProgress() const { return 0; }
    virtual int EndUploadData();

    /// The next uploaded point (time, then one value per variable), or null after
    /// the last one. The pointer stays valid until the next upload or load.
    const double* ReadPoint();
    /// Back to the first uploaded point.
    void RewindPoints() { next_point_ = 0; }
    /// Number of points uploaded (or loaded).
    size_t GetUploadedPointsCount() const { return data_.size(); }

    /// Writes settings, variables and uploaded points to a JSON file; nonzero on
    /// success.
    int Save(const std::string& path) const;
    /// Reads a file written by Save; nothing changes when it fails.
    int Load(const std::string& path);
    /// Asks for a file name (offering `name`, or "Logger", with ".json") and saves
    /// the logged data there; 0 when there is nothing logged, the user cancelled or
    /// the file cannot be written.
    int SaveGraph(const char* name = nullptr, QWidget* parent = nullptr);

    /// Hands the settings to the drive for the next program run (ExecuteCode).
    virtual bool Arm(CMC_Comm& comm, std::string& error);

    const std::string& GetErrorText() const { return error_; }

    /// The curves drawn from this logger's points (one filter to begin with).
    CGraphDocument& GetGraphDocument();
    /// The points a graph draws: the uploaded (or loaded) ones; the scope's capture
    /// while it streams. Null for a slot that holds nothing yet.
    virtual size_t GetDrawablePointCount() const { return data_.size(); }
    virtual const double* GetDrawablePoint(size_t index) const {
        return index < data_.size() ? data_[index].data() : nullptr;
    }
    /// `value` of item `item` (1... the variables) as a graph draws it: the drive
    /// value here; the scope draws its scaled channels in divisions.
    virtual double DisplayValue(int item, double value) const {
        (void)item;
        return value;
    }

  protected:
    virtual orvex::drive::LoggerSettings DriveSettings() const;
    int Fail(std::string text) const;

    CMC_Setup* setup_;
    CMC_CoffFormat* program_;
    unsigned points_ = 0;
    int log_type_ = 1;
    unsigned divider_ = 1;
    std::vector<std::string> variables_;
    std::vector<orvex::drive::LogPoint> data_;
    size_t next_point_ = 0;
    mutable std::string error_;
    std::unique_ptr<CGraphDocument> document_;
};

/// The data logger of one axis.
class CMC_SingleAxisLogger : public CMC_Logger {
  public:
    using CMC_Logger::CMC_Logger;

    /// New settings: `points` per run, `log_type` 1 (one point per slow-loop
    /// sample) or 2 (per fast-loop sample), one sample out of `divider`. Discards the
    /// variables added before and any uploaded points. 0 (nothing changed) for a log
    /// type other than 1 or 2 or a divider of 0.
    int ChangeSettings(unsigned points, int log_type, unsigned divider);
    int GetLogType() const { return log_type_; }
    unsigned GetSamplingDivider() const { return divider_; }
};
