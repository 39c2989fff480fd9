#include "host/drive/scope_logger.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "host/drive/comm.h"
#include "host/plot/graph_document.h"
#include "host/setup/setup.h"
#include "host/setup/units.h"
#include "host/ui/scope_settings_dlg.h"
#include "util/json/json_reader.h"

namespace {

// Scope frame payload (16-bit words, little-endian): number of variables, number of
// points, index of the first sample (32 bits), sampling period in microseconds (32
// bits), then the points, one signed 32-bit value per variable.
constexpr int kPayloadHeaderWords = 6;

std::uint16_t Word(const unsigned char* bytes, int index) {
    return static_cast<std::uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

std::uint32_t Long(const unsigned char* bytes, int index) {
    return Word(bytes, index) | (static_cast<std::uint32_t>(Word(bytes, index + 1)) << 16);
}

// The first filter of the scope's graph as the scope settings keep it.
nlohmann::json GraphToJson(const CGraphFilter& filter) {
    nlohmann::json curves = nlohmann::json::array();
    for (const CXYCurve& c : filter.Curves())
        curves.push_back({{"x", c.x_item},
                          {"y", c.y_item},
                          {"axis", c.y_axis},
                          {"colour", c.color_index},
                          {"style", c.style}});
    return {{"background", filter.GetBackground()},
            {"floatList", filter.GetFloatList()},
            {"curves", curves}};
}

struct GraphSettings {
    int background = -1;
    std::vector<float> float_list;
    std::vector<CXYCurve> curves;
};

// The graph kept with the scope settings, checked against the `items` variables it
// draws before anything is taken: none when any part does not fit. Throws what
// nlohmann throws for a missing key or a value of the wrong kind.
std::optional<GraphSettings> GraphFromJson(const nlohmann::json& j, std::size_t items) {
    GraphSettings g;
    g.background = j.at("background").get<int>();
    for (const auto& v : j.at("floatList")) {
        const double value = v.get<double>();
        if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
            return std::nullopt;
        g.float_list.push_back(static_cast<float>(value));
    }
    const auto is_item = [items](int item) {
        return item >= 0 && static_cast<std::size_t>(item) <= items;
    };
    for (const auto& c : j.at("curves")) {
        const CXYCurve curve(c.at("x").get<int>(), c.at("y").get<int>(), c.at("axis").get<int>(),
                             c.at("colour").get<int>(), c.at("style").get<int>());
        if (!is_item(curve.x_item) || !is_item(curve.y_item) ||
            (curve.y_axis != 1 && curve.y_axis != 2))
            return std::nullopt;
        g.curves.push_back(curve);
    }
    return g;
}

// Scope frame header: payload length in words, sequence number, tag.
constexpr std::size_t kFrameHeaderWords = 3;

// The scope screen is ten divisions high; Autoscale fills eight of them so that a
// trace never touches the frame.
constexpr double kAutoscaleDivisions = 8.0;

}  // namespace

namespace axis {

double Division125(double x) {
    const double n = x > 0.0 ? std::ceil(std::log10(x)) : 0.0;
    double d = std::pow(10.0, n);
    // log10 of an exact power of ten may come out a hair above the integer.
    if (x > 0.0 && d / 10.0 >= x) d /= 10.0;
    if (d / 5.0 >= x)
        d /= 5.0;
    else if (d / 2.0 >= x)
        d /= 2.0;
    return d;
}

double StepDivision125(double division, int steps) {
    const double d = Division125(division);
    // Place on the series: 3 per decade, 1 -> 0, 2 -> 1, 5 -> 2.
    const double decade = std::floor(std::log10(d) + 1e-9);
    const double mantissa = d / std::pow(10.0, decade);
    const int within = mantissa < 1.5 ? 0 : mantissa < 3.5 ? 1 : 2;
    const long place = static_cast<long>(decade) * 3 + within + steps;
    const long new_decade = place >= 0 ? place / 3 : -((-place + 2) / 3);
    const long new_within = place - new_decade * 3;
    static constexpr double kMantissa[] = {1.0, 2.0, 5.0};
    return kMantissa[new_within] * std::pow(10.0, static_cast<double>(new_decade));
}

}  // namespace axis

CMC_ScopeLogger::CMC_ScopeLogger(CMC_Setup* setup, CMC_CoffFormat* program)
    : CMC_Logger(setup, program) {}

int CMC_ScopeLogger::ChangeSettings(double window_s, int trigger_mode, int trigger_slope,
                                    const char* trigger_variable, double level,
                                    unsigned pretrigger_percent) {
    if (!std::isfinite(window_s) || window_s <= 0.0)
        return Fail("The scope window must be positive.");
    if (trigger_mode != 1 && trigger_mode != 2 && trigger_mode != 4)
        return Fail("Trigger mode " + std::to_string(trigger_mode) + " is unknown.");
    if (pretrigger_percent > 100)
        return Fail("The pretrigger is a share of the window (0 to 100 %).");
    if (!std::isfinite(level)) return Fail("The trigger level is not a number.");
    window_s_ = window_s;
    trigger_mode_ = trigger_mode;
    trigger_slope_ = trigger_slope ? 1 : 0;
    trigger_variable_ = trigger_variable ? trigger_variable : "";
    level_ = level;
    pretrigger_percent_ = pretrigger_percent;
    return 1;
}

void CMC_ScopeLogger::SetDefaultValues() {
    window_s_ = 1.0;
    trigger_mode_ = 1;
    trigger_slope_ = 1;
    trigger_variable_.clear();
    level_ = 0.0;
    pretrigger_percent_ = 0;
    variables_.clear();
    scales_.clear();
}

int CMC_ScopeLogger::RescaleVariable(const char* variable, const char* unit, double division,
                                     double offset) {
    const std::string name = variable ? variable : "";
    bool logged = false;
    for (const auto& v : variables_) logged = logged || v == name;
    if (!logged) return Fail("\"" + name + "\" is not shown by the scope.");
    if (!std::isfinite(division) || division <= 0.0 || !std::isfinite(offset))
        return Fail("A channel needs a positive division and a finite offset.");
    for (auto& s : scales_) {
        if (s.variable == name) {
            s = {name, unit ? unit : "", division, offset};
            return 1;
        }
    }
    scales_.push_back({name, unit ? unit : "", division, offset});
    return 1;
}

int CMC_ScopeLogger::SaveSettingsToSetupOption(const char* option) const {
    if (!setup_ || !option) return Fail("No setup to keep the scope settings in.");
    nlohmann::json doc;
    doc["window"] = window_s_;
    doc["triggerMode"] = trigger_mode_;
    doc["triggerSlope"] = trigger_slope_;
    doc["triggerVariable"] = trigger_variable_;
    doc["triggerLevel"] = level_;
    doc["pretrigger"] = pretrigger_percent_;
    doc["divider"] = divider_;
    doc["variables"] = variables_;
    nlohmann::json scales = nlohmann::json::array();
    for (const auto& s : scales_)
        scales.push_back({{"variable", s.variable},
                          {"unit", s.unit},
                          {"division", s.division},
                          {"offset", s.offset}});
    doc["scales"] = scales;
    if (document_) doc["graph"] = GraphToJson(*document_->GetAt(0));
    setup_->SetOption(option, doc.dump());
    return 1;
}

int CMC_ScopeLogger::LoadSettingsFromSetupOption(const char* option) {
    if (!setup_ || !option) return 0;
    const std::string text = setup_->GetOptionNoError(option);
    if (text.empty()) return 0;
    const orvex::json::Document parsed = orvex::json::Parse(text);
    const std::string bad = "The scope settings in \"" + std::string(option) + "\" cannot be read.";
    if (!parsed.ok() || !parsed.value.is_object()) return Fail(bad);
    const orvex::json::Value& doc = parsed.value;
    try {
        CMC_ScopeLogger loaded(setup_, program_);
        if (!loaded.ChangeSettings(doc.at("window").get<double>(), doc.at("triggerMode").get<int>(),
                                   doc.at("triggerSlope").get<int>(),
                                   doc.at("triggerVariable").get<std::string>().c_str(),
                                   doc.at("triggerLevel").get<double>(),
                                   doc.at("pretrigger").get<unsigned>()))
            return Fail(bad);
        const unsigned divider = doc.at("divider").get<unsigned>();
        if (divider == 0) return Fail(bad);
        for (const auto& v : doc.at("variables"))
            if (!loaded.AddVariable(v.get<std::string>())) return Fail(bad);
        for (const auto& s : doc.at("scales"))
            if (!loaded.RescaleVariable(s.at("variable").get<std::string>().c_str(),
                                        s.at("unit").get<std::string>().c_str(),
                                        s.at("division").get<double>(),
                                        s.at("offset").get<double>()))
                return Fail(bad);
        // What the scope graph draws; settings kept before it was saved with them have
        // none, and leave the graph as it is.
        std::optional<GraphSettings> graph;
        if (doc.contains("graph")) {
            graph = GraphFromJson(doc.at("graph"), loaded.variables_.size());
            if (!graph) return Fail(bad);
        }
        window_s_ = loaded.window_s_;
        trigger_mode_ = loaded.trigger_mode_;
        trigger_slope_ = loaded.trigger_slope_;
        trigger_variable_ = loaded.trigger_variable_;
        level_ = loaded.level_;
        pretrigger_percent_ = loaded.pretrigger_percent_;
        divider_ = divider;
        variables_ = loaded.variables_;
        scales_ = loaded.scales_;
        if (graph) {
            CGraphFilter* filter = GetGraphDocument().GetAt(0);
            filter->RemoveAll();
            for (const CXYCurve& c : graph->curves) filter->Add(c);
            filter->SetBackground(graph->background);
            filter->SetFloatList(graph->float_list);
        }
        return 1;
    } catch (const nlohmann::json::exception&) {
        return Fail(bad);
    }
}

double CMC_ScopeLogger::LevelInDriveUnits() const {
    if (!setup_) return level_;
    const CMC_Variable* v = nullptr;
    {
        axis::ScopedSilentLookup silent;
        v = setup_->FindVariable(trigger_variable_, 0);
    }
    if (!v || v->GetBaseUnitName().empty()) return level_;
    // base = (internal + offset) x factor, as for every drive value.
    const double factor = setup_->ScaleFactor(v->GetBaseUnitName(), v->GetName());
    const double offset = setup_->ScaleOffset(v->GetBaseUnitName());
    return level_ / factor - offset;
}

int CMC_ScopeLogger::BeginUploadData() {
    CMC_Comm* comm = CMC_Comm::FromSetup(setup_);
    if (!comm) return Fail("No drive connected.");
    if (variables_.empty()) return Fail("The scope shows no variables.");
    trigger_channel_ = -1;
    for (size_t i = 0; i < variables_.size(); ++i)
        if (!trigger_variable_.empty() && variables_[i] == trigger_variable_)
            trigger_channel_ = static_cast<int>(i) + 1;
    if (!trigger_variable_.empty() && trigger_channel_ < 0)
        return Fail("The trigger variable \"" + trigger_variable_ +
                    "\" is not shown by the scope.");
    if (!comm->ConfigureScope(variables_, static_cast<int>(divider_)))
        return Fail(comm->LastError());
    level_drive_ = LevelInDriveUnits();
    capture_ = trigger_channel_ < 0 || trigger_mode_ == 1 ? Capture::kFreeRunning : Capture::kArmed;
    buffer_.clear();
    points_ = 0;
    written_ = next_undrawn_ = undrawn_ = 0;
    single_done_ = false;
    history_.clear();
    have_previous_ = false;
    trigger_time_s_ = 0.0;
    data_.clear();
    next_point_ = 0;
    dropped_frames_ = lost_frames_ = 0;
    have_sequence_ = false;
    streaming_ = true;
    return 1;
}

int CMC_ScopeLogger::EndUploadData() {
    if (!streaming_) return 1;
    streaming_ = false;
    // The capture, oldest point first, for the point reader and Save.
    data_.clear();
    next_point_ = 0;
    const unsigned n = static_cast<unsigned>(buffer_.size());
    const unsigned filled = std::min(written_, n);
    const unsigned start = capture_ == Capture::kFreeRunning && written_ > n ? written_ % n : 0;
    for (unsigned k = 0; k < filled; ++k) data_.push_back(buffer_[(start + k) % n]);
    CMC_Comm* comm = CMC_Comm::FromSetup(setup_);
    if (!comm) return Fail("No drive connected.");
    if (!comm->ConfigureScope({}, 1)) return Fail(comm->LastError());
    return 1;
}

int CMC_ScopeLogger::Drop() {
    ++dropped_frames_;
    return 0;
}

int CMC_ScopeLogger::OnScopeMessage(const std::uint16_t* words, std::size_t count) {
    if (!streaming_) return -1;
    if (!words || count < kFrameHeaderWords) return Drop();
    if (words[0] != count - kFrameHeaderWords) return Drop();
    const std::uint16_t sequence = words[1];
    // Sequence numbers wrap at 65536; the difference in 16 bits is the gap.
    if (have_sequence_) lost_frames_ += static_cast<std::uint16_t>(sequence - last_sequence_ - 1);
    have_sequence_ = true;
    last_sequence_ = sequence;
    return OnFrameReceive(static_cast<int>(2 * words[0]),
                          reinterpret_cast<const unsigned char*>(words + kFrameHeaderWords));
}

int CMC_ScopeLogger::OnFrameReceive(int byte_count, const unsigned char* payload) {
    if (!streaming_) return -1;
    if (!payload || byte_count < 2 * kPayloadHeaderWords) return Drop();
    const unsigned v = Word(payload, 0);
    const unsigned p = Word(payload, 1);
    const std::uint32_t first_sample = Long(payload, 2);
    const std::uint32_t period_us = Long(payload, 4);
    if (v != variables_.size() || period_us == 0) return Drop();
    // In 64 bits: 65535 points of 65535 variables must not wrap into a small length.
    const std::int64_t expected_bytes =
        2 * (kPayloadHeaderWords + 2 * static_cast<std::int64_t>(p) * static_cast<std::int64_t>(v));
    if (byte_count != expected_bytes) return Drop();
    if (buffer_.empty()) {
        // The window in points follows from the sampling period, known from the
        // first frame.
        const double n = std::round(window_s_ / (period_us * 1e-6));
        points_ = static_cast<unsigned>(std::clamp(n, 1.0, static_cast<double>(kMaxPoints)));
        buffer_.assign(points_, {});
    }
    for (unsigned k = 0; k < p; ++k) {
        std::vector<double> point(v + 1);
        point[0] = (static_cast<double>(first_sample) + k) * period_us * 1e-6;
        for (unsigned c = 0; c < v; ++c) {
            const int index = kPayloadHeaderWords + 2 * static_cast<int>(k * v + c);
            point[c + 1] = static_cast<std::int32_t>(Long(payload, index));
        }
        TakePoint(std::move(point));
    }
    return static_cast<int>(p);
}

void CMC_ScopeLogger::TakePoint(std::vector<double> point) {
    const unsigned n = static_cast<unsigned>(buffer_.size());
    switch (capture_) {
        case Capture::kFreeRunning:
            Store(std::move(point));
            return;
        case Capture::kDone:
            return;
        case Capture::kCapturing:
            point[0] -= trigger_time_s_;
            Store(std::move(point));
            if (written_ >= n) {
                if (trigger_mode_ == 4) {
                    capture_ = Capture::kDone;
                    single_done_ = true;
                } else {
                    capture_ = Capture::kArmed;
                    history_.clear();
                    have_previous_ = false;
                }
            }
            return;
        case Capture::kArmed: {
            const double x = point[trigger_channel_];
            const bool crossed =
                have_previous_ && (trigger_slope_ ? previous_ < level_drive_ && x >= level_drive_
                                                  : previous_ > level_drive_ && x <= level_drive_);
            previous_ = x;
            have_previous_ = true;
            if (!crossed) {
                const unsigned pre = n * pretrigger_percent_ / 100;
                history_.push_back(std::move(point));
                while (history_.size() > pre) history_.pop_front();
                return;
            }
            StartCapture(point[0]);
            TakePoint(std::move(point));
            return;
        }
    }
}

void CMC_ScopeLogger::StartCapture(double trigger_time_s) {
    capture_ = Capture::kCapturing;
    trigger_time_s_ = trigger_time_s;
    written_ = 0;
    next_undrawn_ = 0;
    undrawn_ = 0;
    for (auto& slot : buffer_) slot.clear();
    auto history = std::move(history_);
    history_.clear();
    for (auto& h : history) {
        h[0] -= trigger_time_s_;
        Store(std::move(h));
    }
}

void CMC_ScopeLogger::Store(std::vector<double> point) {
    const unsigned n = static_cast<unsigned>(buffer_.size());
    buffer_[written_ % n] = std::move(point);
    ++written_;
    if (undrawn_ < n)
        ++undrawn_;
    else
        next_undrawn_ = (next_undrawn_ + 1) % n;  // the oldest undrawn point was overwritten
}

void CMC_ScopeLogger::GetPointsToBeDrawn(unsigned& first, unsigned& count) {
    first = next_undrawn_;
    count = undrawn_;
    if (!buffer_.empty())
        next_undrawn_ = (next_undrawn_ + undrawn_) % static_cast<unsigned>(buffer_.size());
    undrawn_ = 0;
}

const double* CMC_ScopeLogger::GetCapturePoint(unsigned index) const {
    if (index >= buffer_.size() || buffer_[index].empty()) return nullptr;
    return buffer_[index].data();
}

int CMC_ScopeLogger::Edit(QWidget* parent) {
    axis::ScopeCaptureSettings settings{window_s_,         trigger_mode_, trigger_slope_,
                                        trigger_variable_, level_,        pretrigger_percent_};
    if (!axis::EditScopeCaptureSettings(parent, variables_, settings)) return 0;
    const bool same = settings.window_s == window_s_ && settings.trigger_mode == trigger_mode_ &&
                      settings.trigger_slope == trigger_slope_ &&
                      settings.trigger_variable == trigger_variable_ && settings.level == level_ &&
                      settings.pretrigger_percent == pretrigger_percent_;
    if (same) return 0;
    return ChangeSettings(settings.window_s, settings.trigger_mode, settings.trigger_slope,
                          settings.trigger_variable.c_str(), settings.level,
                          settings.pretrigger_percent);
}

double CMC_ScopeLogger::ToChannelUnit(size_t channel, const std::string& unit,
                                      double drive_value) const {
    if (!setup_) return drive_value;
    const CMC_Variable* v = nullptr;
    {
        axis::ScopedSilentLookup silent;
        v = setup_->FindVariable(variables_[channel], 0);
    }
    if (!v || v->GetBaseUnitName().empty()) return drive_value;
    const double factor = setup_->ScaleFactor(v->GetBaseUnitName(), v->GetName());
    const double offset = setup_->ScaleOffset(v->GetBaseUnitName());
    const double base = (drive_value + offset) * factor;
    const CMC_Unit* shown = unit.empty() ? nullptr : setup_->GetUnits()->FindUnit(unit);
    return shown ? shown->FromBase(base) : base;
}

int CMC_ScopeLogger::Autoscale() {
    // The capture while it is still in the ring, else what the last run left.
    std::vector<const double*> points;
    for (const auto& slot : buffer_)
        if (!slot.empty()) points.push_back(slot.data());
    if (points.empty())
        for (const auto& p : data_) points.push_back(p.data());
    if (points.empty()) return Fail("The scope holds no capture to scale to.");
    for (size_t c = 0; c < variables_.size(); ++c) {
        std::string unit;
        for (const auto& s : scales_)
            if (s.variable == variables_[c]) unit = s.unit;
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (const double* p : points) {
            const double x = ToChannelUnit(c, unit, p[c + 1]);
            low = std::min(low, x);
            high = std::max(high, x);
        }
        const double span = high - low;
        const double middle = 0.5 * (high + low);
        const double division =
            axis::Division125(span > 0.0 ? span / kAutoscaleDivisions : std::abs(middle) / 4.0);
        // The centre line on a whole division keeps the grid labels round.
        const double offset = std::round(middle / division) * division;
        RescaleVariable(variables_[c].c_str(), unit.c_str(), division, offset);
    }
    return 1;
}

int CMC_ScopeLogger::ChangeChannelScale(int channel, int step) {
    if (channel < 0 || static_cast<size_t>(channel) >= variables_.size())
        return Fail("The scope has no channel " + std::to_string(channel) + ".");
    if (step == 0) return 0;
    const std::string& name = variables_[static_cast<size_t>(channel)];
    for (auto& s : scales_) {
        if (s.variable == name) {
            s.division = axis::StepDivision125(s.division, step);
            return 1;
        }
    }
    scales_.push_back({name, "", axis::StepDivision125(1.0, step), 0.0});
    return 1;
}

size_t CMC_ScopeLogger::GetDrawablePointCount() const {
    return buffer_.empty() ? data_.size() : buffer_.size();
}

const double* CMC_ScopeLogger::GetDrawablePoint(size_t index) const {
    if (buffer_.empty()) return CMC_Logger::GetDrawablePoint(index);
    return GetCapturePoint(static_cast<unsigned>(index));
}

double CMC_ScopeLogger::DisplayValue(int item, double value) const {
    if (item < 1 || static_cast<size_t>(item) > variables_.size()) return value;
    const std::string& name = variables_[static_cast<size_t>(item - 1)];
    for (const auto& s : scales_)
        if (s.variable == name)
            return (ToChannelUnit(static_cast<size_t>(item - 1), s.unit, value) - s.offset) /
                   s.division;
    return value;
}
