#include "host/drive/logger.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/drive/comm.h"
#include "host/plot/graph_document.h"
#include "host/setup/file_save.h"
#include "host/setup/setup.h"
#include "util/json/json_reader.h"

CMC_Logger::CMC_Logger(CMC_Setup* setup, CMC_CoffFormat* program)
    : setup_(setup), program_(program) {}

CMC_Logger::~CMC_Logger() = default;

int CMC_Logger::Fail(std::string text) const {
    error_ = std::move(text);
    return 0;
}

int CMC_Logger::AddVariable(const std::string& name, int) {
    if (name.empty()) return Fail("A logged variable needs a name.");
    for (const auto& v : variables_)
        if (v == name) return Fail("\"" + name + "\" is logged already.");
    variables_.push_back(name);
    return 1;
}

unsigned CMC_Logger::CorrectPointsNo() {
    unsigned capacity = kDefaultBufferValues;
    if (setup_) {
        const std::string text = setup_->GetOptionNoError("LoggerBufferValues");
        if (!text.empty())
            capacity = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    }
    if (!variables_.empty()) {
        const unsigned most = capacity / static_cast<unsigned>(variables_.size());
        if (points_ > most) points_ = most;
    }
    return points_;
}

int CMC_Logger::LocateItems() {
    CMC_Comm* comm = CMC_Comm::FromSetup(setup_);
    if (!comm) return Fail("No drive connected.");
    for (const auto& name : variables_) {
        double value = 0.0;
        if (!comm->ReadVariable(name, value))
            return Fail("The drive does not know the logged variable \"" + name +
                        "\": " + comm->LastError());
    }
    return 1;
}

orvex::drive::LoggerSettings CMC_Logger::DriveSettings() const {
    orvex::drive::LoggerSettings s;
    s.log_type = log_type_;
    s.points = static_cast<int>(points_);
    s.divider = static_cast<int>(divider_);
    s.variables = variables_;
    return s;
}

bool CMC_Logger::Arm(CMC_Comm& comm, std::string& error) {
    data_.clear();
    next_point_ = 0;
    if (variables_.empty() || points_ == 0) {
        error = "The logger has no variables or no points to record.";
        return false;
    }
    if (!comm.ConfigureLogger(DriveSettings())) {
        error = comm.LastError();
        return false;
    }
    return true;
}

int CMC_Logger::BeginUploadData() {
    data_.clear();
    next_point_ = 0;
    CMC_Comm* comm = CMC_Comm::FromSetup(setup_);
    if (!comm) return Fail("No drive connected.");
    std::vector<orvex::drive::LogPoint> points;
    if (!comm->UploadLog(points)) return Fail(comm->LastError());
    // A point of another shape than the variables asked for would put values under
    // the wrong names: refuse the whole upload rather than mislabel data.
    for (size_t i = 0; i < points.size(); ++i) {
        if (points[i].size() != variables_.size() + 1)
            return Fail("Logged point " + std::to_string(i) + " has " +
                        std::to_string(points[i].size()) + " values; " +
                        std::to_string(variables_.size() + 1) + " were expected.");
    }
    data_ = std::move(points);
    return 1;
}

int CMC_Logger::EndUploadData() {
    return 1;
}

const double* CMC_Logger::ReadPoint() {
    if (next_point_ >= data_.size()) return nullptr;
    return data_[next_point_++].data();
}

int CMC_Logger::Save(const std::string& path) const {
    nlohmann::json doc;
    doc["format"] = "orvex-log";
    doc["version"] = 1;
    doc["logType"] = log_type_;
    doc["points"] = points_;
    doc["divider"] = divider_;
    doc["variables"] = variables_;
    doc["data"] = data_;
    const std::string error = axis::SaveFileAtomically(path, doc.dump(1) + '\n');
    if (!error.empty()) return Fail("Cannot write \"" + path + "\": " + error);
    return 1;
}

int CMC_Logger::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail("Cannot open \"" + path + "\".");
    std::stringstream text;
    text << in.rdbuf();
    const orvex::json::Document parsed = orvex::json::Parse(text.str());
    const std::string what = "\"" + path + "\" is not a logger file";
    if (!parsed.ok()) return Fail(what + " (" + parsed.error + ").");
    const orvex::json::Value& doc = parsed.value;
    if (!doc.is_object()) return Fail(what + ".");
    auto is = [&](const char* key, auto check) {
        const auto it = doc.find(key);
        return it != doc.end() && check(*it);
    };
    if (!is("format",
            [](const auto& j) {
                return j.is_string() && j.template get<std::string>() == "orvex-log";
            }) ||
        !is("version",
            [](const auto& j) { return j.is_number_integer() && j.template get<int>() == 1; }) ||
        !is("logType", [](const auto& j) { return j.is_number_integer(); }) ||
        !is("points", [](const auto& j) { return j.is_number_unsigned(); }) ||
        !is("divider", [](const auto& j) { return j.is_number_unsigned(); }) ||
        !is("variables", [](const auto& j) { return j.is_array(); }) ||
        !is("data", [](const auto& j) { return j.is_array(); }))
        return Fail(what + ".");
    std::vector<std::string> variables;
    for (const auto& v : doc["variables"]) {
        if (!v.is_string()) return Fail(what + ": a variable name is not text.");
        variables.push_back(v.get<std::string>());
    }
    std::vector<orvex::drive::LogPoint> data;
    for (const auto& p : doc["data"]) {
        if (!p.is_array() || p.size() != variables.size() + 1)
            return Fail(what + ": a point has the wrong size.");
        orvex::drive::LogPoint point;
        for (const auto& x : p) {
            if (!x.is_number()) return Fail(what + ": a value is not a number.");
            point.push_back(x.get<double>());
        }
        data.push_back(std::move(point));
    }
    log_type_ = doc["logType"].get<int>();
    points_ = doc["points"].get<unsigned>();
    divider_ = doc["divider"].get<unsigned>();
    variables_ = std::move(variables);
    data_ = std::move(data);
    next_point_ = 0;
    return 1;
}

int CMC_SingleAxisLogger::ChangeSettings(unsigned points, int log_type, unsigned divider) {
    if (log_type != 1 && log_type != 2)
        return Fail("Log type " + std::to_string(log_type) + " is unknown.");
    if (divider == 0) return Fail("The sampling divider must be at least 1.");
    points_ = points;
    log_type_ = log_type;
    divider_ = divider;
    variables_.clear();
    data_.clear();
    next_point_ = 0;
    return 1;
}

CGraphDocument& CMC_Logger::GetGraphDocument() {
    if (!document_) document_ = std::make_unique<CGraphDocument>(this);
    return *document_;
}
