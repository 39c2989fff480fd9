#include "host/drive/comm.h"

#include <algorithm>
#include <utility>

#include "host/drive/drive_chip_link.h"
#include "host/setup/setup.h"

namespace {

// Live connections, the active one last.
std::vector<CMC_Comm*>& LiveConnections() {
    static std::vector<CMC_Comm*> live;
    return live;
}

struct HandlerEntry {
    int id;
    axis::UnsolicitedMsgHandler handler;
};

std::vector<HandlerEntry>& Handlers() {
    static std::vector<HandlerEntry> handlers;
    return handlers;
}

int g_next_handler_id = 1;
bool g_dispatching = false;

constexpr const char* kNoDrive = "No drive connected.";

}  // namespace

CMC_Comm::CMC_Comm(orvex::drive::DriveLink& link)
    : link_(link), chip_link_(std::make_unique<axis::DriveChipLink>(*this)) {
    LiveConnections().push_back(this);
}

CMC_Comm::~CMC_Comm() {
    auto& live = LiveConnections();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

CMC_Comm* CMC_Comm::Active() {
    const auto& live = LiveConnections();
    return live.empty() ? nullptr : live.back();
}

CMC_Comm* CMC_Comm::FromSetup(const CMC_Setup* setup) {
    if (!setup) return nullptr;
    auto* link = dynamic_cast<axis::DriveChipLink*>(setup->GetChipLink());
    return link ? &link->comm() : nullptr;
}

void CMC_Comm::Attach(CMC_Setup* setup) {
    if (setup) setup->SetChipLink(chip_link_.get());
}

void CMC_Comm::Detach(CMC_Setup* setup) {
    if (setup && setup->GetChipLink() == chip_link_.get()) setup->SetChipLink(nullptr);
}

std::string CMC_Comm::GetLastErrorText() {
    CMC_Comm* comm = Active();
    return comm ? comm->last_error_ : std::string(kNoDrive);
}

int CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(axis::UnsolicitedMsgHandler handler) {
    if (!handler) return 0;
    const int id = g_next_handler_id++;
    Handlers().push_back({id, std::move(handler)});
    return id;
}

void CMC_Comm::UnregisterReceiveUnsolicitedMsgHandler(int id) {
    auto& h = Handlers();
    h.erase(std::remove_if(h.begin(), h.end(), [id](const HandlerEntry& e) { return e.id == id; }),
            h.end());
}

int CMC_Comm::CheckForUnrequestedMessages() {
    CMC_Comm* comm = Active();
    if (!comm || g_dispatching) return 0;
    g_dispatching = true;
    int taken = 0;
    for (const auto& message : comm->link_.PollUnsolicited()) {
        // A handler may unregister itself (or another) while it runs: ask a copy.
        const auto handlers = Handlers();
        for (const auto& entry : handlers) {
            if (entry.handler(message.data(), message.size()) == 0) {
                ++taken;
                break;
            }
        }
    }
    g_dispatching = false;
    return taken;
}

bool CMC_Comm::Check(bool ok, const char* what) {
    if (ok) return true;
    last_error_ = link_.LastErrorText();
    if (last_error_.empty()) last_error_ = std::string("The drive did not complete ") + what + ".";
    return false;
}

bool CMC_Comm::ReadVariable(const std::string& name, double& value) {
    return Check(link_.ReadVariable(name, value), "a variable read");
}
bool CMC_Comm::WriteVariable(const std::string& name, double value) {
    return Check(link_.WriteVariable(name, value), "a variable write");
}
bool CMC_Comm::WriteRegister(const std::string& name, double value, int bits) {
    return Check(link_.WriteRegister(name, value, bits), "a register write");
}
bool CMC_Comm::ExecuteProgram(const std::string& program) {
    return Check(link_.ExecuteProgram(program), "the program start");
}
bool CMC_Comm::StopProgram() {
    return Check(link_.StopProgram(), "the program stop");
}
bool CMC_Comm::IsProgramRunning(bool& running) {
    return Check(link_.IsProgramRunning(running), "the program state query");
}
bool CMC_Comm::GetAxisOn(bool& on) {
    return Check(link_.GetAxisOn(on), "the power stage query");
}
bool CMC_Comm::ConfigureLogger(const orvex::drive::LoggerSettings& settings) {
    return Check(link_.ConfigureLogger(settings), "the logger set-up");
}
bool CMC_Comm::IsLogComplete(bool& complete) {
    return Check(link_.IsLogComplete(complete), "the logger state query");
}
bool CMC_Comm::UploadLog(std::vector<orvex::drive::LogPoint>& points) {
    return Check(link_.UploadLog(points), "the logger upload");
}
bool CMC_Comm::ConfigureScope(const std::vector<std::string>& variables, int divider) {
    return Check(link_.ConfigureScope(variables, divider), "the scope set-up");
}
bool CMC_Comm::SendCommand(const std::string& command) {
    return Check(link_.SendCommand(command), "the command");
}
