#pragma once
// Reading JSON documents the way every file of the project is read: the text is
// parsed event by event, so nesting is limited before any value is built, duplicate
// member names are refused, and every fault names its place: "line L, column C" for
// the text itself, a member path such as "parameters[12].max" for its content.
// std and nlohmann_json only, so both the setup layer and the simulated drive use it.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::json {

/// Member order is kept, so a file read and written again keeps its order.
using Value = nlohmann::ordered_json;

/// How strictly a document is read.
struct ReadRules {
    /// Deepest nesting of objects and arrays accepted; the top-level value is depth 1.
    /// No file of the project needs more than a handful of levels.
    int max_depth = 16;
    /// When true, member names that differ only in ASCII letter case count as
    /// duplicates (setups compare their names that way).
    bool fold_case = false;
};

/// Nesting accepted when a caller does not say otherwise.
inline constexpr int kDefaultMaxDepth = 16;

struct Document {
    Value value;
    /// "line 3, column 7: ..." when the text was refused; empty on success.
    std::string error;
    bool ok() const { return error.empty(); }
};

/// Parses `text`. Refuses invalid JSON, nesting deeper than `rules.max_depth`,
/// duplicate member names and numbers too large for a double, each with its line
/// and column. Never throws; the depth limit keeps stack and time bounded.
Document Parse(std::string_view text, const ReadRules& rules = {});

/// Receives a document's values in text order, as ReadEvents reads them. A reader of
/// a large document builds its own model from these instead of a whole Value first.
class Events {
  public:
    virtual ~Events() = default;
    virtual void Null() = 0;
    virtual void Boolean(bool b) = 0;
    virtual void Integer(std::int64_t n) = 0;
    virtual void Unsigned(std::uint64_t n) = 0;
    virtual void Float(double d) = 0;
    /// The text may be moved from.
    virtual void String(std::string& s) = 0;
    virtual void StartObject() = 0;
    /// A member name, already checked against the names before it in its object; it may
    /// be moved from.
    virtual void Key(std::string& key) = 0;
    virtual void EndObject() = 0;
    virtual void StartArray() = 0;
    virtual void EndArray() = 0;
};

/// Reads `text` with the checks and messages of Parse, handing each value to `events`
/// as soon as it is read. Returns the fault ("line 3, column 7: ...") or an empty
/// string. On a fault the events stop there; what they built is incomplete.
std::string ReadEvents(std::string_view text, const ReadRules& rules, Events& events);

/// Reads the regular file at `path` as ReadEvents reads a text, a piece at a time, so
/// that a large file is never held whole in memory. Returns false when the file cannot
/// be read, with `reason` as ReadFileText gives it; else true, with `fault` as
/// ReadEvents returns it.
bool ReadFileEvents(const std::string& path, const ReadRules& rules, Events& events,
                    std::string& reason, std::string& fault);

/// Builds one Value from events: what Parse does with the whole document, and what an
/// event reader does with the members it keeps whole.
class ValueBuilder : public Events {
  public:
    /// True once a whole value has been received.
    bool Done() const { return done_; }
    /// The value built; call Reset before building the next one.
    Value& Result() { return root_; }
    void Reset();

    void Null() override { Put(Value(nullptr)); }
    void Boolean(bool b) override { Put(Value(b)); }
    void Integer(std::int64_t n) override { Put(Value(n)); }
    void Unsigned(std::uint64_t n) override { Put(Value(n)); }
    void Float(double d) override { Put(Value(d)); }
    void String(std::string& s) override { Put(Value(std::move(s))); }
    void StartObject() override { Open(Value::object()); }
    void Key(std::string& key) override { key_ = std::move(key); }
    void EndObject() override { Close(); }
    void StartArray() override { Open(Value::array()); }
    void EndArray() override { Close(); }

  private:
    Value* Add(Value&& v);
    void Put(Value&& v);
    void Open(Value&& container);
    void Close();

    Value root_;
    std::vector<Value*> stack_;
    std::string key_;
    bool done_ = false;
};

/// Reads a whole regular file into `text`. On failure returns false and sets
/// `error` to the reason ("No such file or directory", "is a folder, not a file",
/// "Permission denied" ...), without the path: callers put their own place first.
bool ReadFileText(const std::string& path, std::string& text, std::string& error);

/// Where a value sits in a document: "parameters[12].max". Empty at the top.
class Place {
  public:
    Place() = default;
    explicit Place(std::string path) : path_(std::move(path)) {}
    Place Member(std::string_view key) const;
    Place Index(std::size_t i) const;
    /// The path, or `top` when this is the document itself.
    const std::string& Text() const { return path_; }
    bool IsTop() const { return path_.empty(); }

  private:
    std::string path_;
};

/// The first fault found while reading a document's content; later ones are
/// ignored, so the user is told about the first place to mend.
class Fault {
  public:
    /// Records "PLACE: WHAT" unless a fault is recorded already.
    void Set(const Place& place, std::string what);
    explicit operator bool() const { return !what_.empty(); }
    /// "parameters[3].name: missing" (or just WHAT for a fault at the top).
    std::string Text() const;
    const std::string& Where() const { return where_; }
    const std::string& What() const { return what_; }

  private:
    std::string where_;
    std::string what_;
};

/// Reads the members of one object; each read records a fault at the member's
/// place and returns nothing when the member is absent (and required) or of the
/// wrong kind. Once a fault is recorded, reads return nothing.
class ObjectReader {
  public:
    enum Need { kRequired, kOptional };

    /// Records "not an object" when `value` is not one.
    ObjectReader(const Value& value, Place place, Fault& fault);

    const Place& Where() const { return place_; }
    Place At(std::string_view key) const { return place_.Member(key); }
    bool Has(std::string_view key) const;

    /// The member as it stands (marks it as read); null when absent.
    const Value* Find(std::string_view key, Need need = kRequired);
    /// A finite number, optionally within [min, max] ("-5 is outside 0.1 to 2000").
    std::optional<double> Number(std::string_view key, Need need = kRequired);
    std::optional<double> Number(std::string_view key, double min, double max,
                                 Need need = kRequired);
    /// A whole number within [min, max]; 2.0 is whole, 2.5 is not.
    std::optional<std::int64_t> Whole(std::string_view key, std::int64_t min, std::int64_t max,
                                      Need need = kRequired);
    std::optional<bool> Bool(std::string_view key, Need need = kRequired);
    std::optional<std::string> Text(std::string_view key, Need need = kRequired);
    /// An object or an array member (null when absent or of another kind).
    const Value* Object(std::string_view key, Need need = kRequired);
    const Value* Array(std::string_view key, Need need = kRequired);

    /// Marks a member as read elsewhere.
    void Known(std::string_view key) { known_.insert(std::string(key)); }
    /// Refuses members that no read asked for ("unknown key"), so a misspelt name
    /// never silently means a default.
    void RefuseUnknown();

  private:
    const Value& value_;
    Place place_;
    Fault& fault_;
    std::set<std::string, std::less<>> known_;
};

}  // namespace orvex::json
