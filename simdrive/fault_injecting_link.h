#pragma once
// A DriveLink decorator that makes chosen calls fail, for testing how the host
// copes with a drive that stops answering: the next read or write of a given
// name, or the next program start, fails with a given error text.

#include <map>
#include <string>

#include "host/link/drive_link.h"

namespace orvex::drive {

class FaultInjectingLink : public DriveLink {
  public:
    /// Wraps `inner`, which must outlive this link.
    explicit FaultInjectingLink(DriveLink& inner) : inner_(inner) {}

    /// The next ReadVariable of `name` fails with `error_text`.
    void FailNextRead(const std::string& name, const std::string& error_text) {
        reads_[name] = error_text;
    }
    /// The next WriteVariable or WriteRegister of `name` fails with `error_text`.
    void FailNextWrite(const std::string& name, const std::string& error_text) {
        writes_[name] = error_text;
    }
    /// The next ExecuteProgram fails with `error_text`.
    void FailNextExecute(const std::string& error_text) { execute_ = error_text; }

    bool ReadVariable(const std::string& name, double& value) override;
    bool WriteVariable(const std::string& name, double value) override;
    bool WriteRegister(const std::string& name, double value, int bits) override;
    bool ReadRegister(const std::string& name, double& value) override {
        return Pass(inner_.ReadRegister(name, value));
    }
    bool ExecuteProgram(const std::string& program) override;
    bool StopProgram() override { return Pass(inner_.StopProgram()); }
    bool IsProgramRunning(bool& running) override { return Pass(inner_.IsProgramRunning(running)); }
    bool GetAxisOn(bool& on) override { return Pass(inner_.GetAxisOn(on)); }
    bool ConfigureLogger(const LoggerSettings& settings) override {
        return Pass(inner_.ConfigureLogger(settings));
    }
    bool IsLogComplete(bool& complete) override { return Pass(inner_.IsLogComplete(complete)); }
    bool UploadLog(std::vector<LogPoint>& points) override {
        return Pass(inner_.UploadLog(points));
    }
    bool ConfigureScope(const std::vector<std::string>& variables, int divider) override {
        return Pass(inner_.ConfigureScope(variables, divider));
    }
    std::vector<UnsolicitedMessage> PollUnsolicited() override { return inner_.PollUnsolicited(); }
    bool SendCommand(const std::string& command) override {
        return Pass(inner_.SendCommand(command));
    }
    std::string LastErrorText() const override {
        return injected_ ? injected_error_ : inner_.LastErrorText();
    }

  private:
    // A call that reached the inner link: its error text is the inner one.
    bool Pass(bool result) {
        injected_ = false;
        return result;
    }
    bool Take(std::map<std::string, std::string>& armed, const std::string& name);

    DriveLink& inner_;
    std::map<std::string, std::string> reads_, writes_;
    std::string execute_;
    bool injected_ = false;
    std::string injected_error_;
};

}  // namespace orvex::drive
