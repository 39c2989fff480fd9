#include "util/json/json_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <unordered_set>
#include <vector>

namespace orvex::json {
namespace {

// The text as the parser reads it: a window on it and, for a file, the means to read
// the next piece into the window. Reading a character is a compare and an increment;
// lines are counted only when a fault needs its place, from the newlines of the
// pieces read before (counted as each is left) and of the one being read.
class Cursor {
  public:
    explicit Cursor(std::string_view text)
        : at_(text.data()), end_(text.data() + text.size()), start_(at_) {}
    explicit Cursor(std::FILE* file) : file_(file), piece_(kPieceSize) {}

    std::char_traits<char>::int_type Get() {
        if (at_ == end_ && !ReadPiece()) return std::char_traits<char>::eof();
        return std::char_traits<char>::to_int_type(*at_++);
    }
    /// Characters read so far.
    std::size_t Offset() const { return before_piece_ + static_cast<std::size_t>(at_ - start_); }
    /// errno of a failed read of the file, 0 when none failed.
    int ReadError() const { return read_error_; }

    /// "line L, column C" of the character at `offset`: where the cursor stands, or
    /// one character before it (the parser may have looked one ahead).
    std::string Place(std::size_t offset) const {
        Newlines lines = lines_;
        lines.Count(start_, at_, before_piece_);
        offset = std::min(offset, Offset());
        std::size_t newlines = lines.count;
        std::size_t last = lines.last;
        if (last != 0 && last - 1 >= offset) {  // the newline just read is not before it
            --newlines;
            last = lines.before_last;
        }
        const std::size_t column = offset - last;
        return "line " + std::to_string(1 + newlines) + ", column " +
               std::to_string(std::max<std::size_t>(column, 1));
    }

  private:
    // The newlines read: how many, and the offsets of the last two, plus one (0: none).
    struct Newlines {
        std::size_t count = 0;
        std::size_t last = 0;
        std::size_t before_last = 0;
        void Count(const char* from, const char* to, std::size_t offset_of_from) {
            for (const char* at = from; at != to; ++at) {
                at = static_cast<const char*>(std::memchr(at, '\n', to - at));
                if (!at) break;
                ++count;
                before_last = last;
                last = offset_of_from + static_cast<std::size_t>(at - from) + 1;
            }
        }
    };

    bool ReadPiece() {
        if (!file_) return false;
        lines_.Count(start_, at_, before_piece_);
        before_piece_ = Offset();
        const std::size_t n = std::fread(piece_.data(), 1, piece_.size(), file_);
        if (n == 0 && std::ferror(file_)) read_error_ = errno;
        start_ = at_ = piece_.data();
        end_ = at_ + n;
        return n > 0;
    }

    static constexpr std::size_t kPieceSize = std::size_t{1} << 16;
    const char* at_ = nullptr;
    const char* end_ = nullptr;
    const char* start_ = nullptr;   // of the piece in the window
    std::size_t before_piece_ = 0;  // characters read before it
    Newlines lines_;                // in the pieces before it
    std::FILE* file_ = nullptr;
    std::vector<char> piece_;
    int read_error_ = 0;
};

// What the parser reads from: the library's input adapter interface (a character type
// and a way to get the next character) over a Cursor. A file is read through it a
// piece at a time, with no per-character test beyond the end of the piece.
class CursorInput {
  public:
    using char_type = char;
    explicit CursorInput(Cursor& cursor) : cursor_(&cursor) {}
    std::char_traits<char>::int_type get_character() { return cursor_->Get(); }

  private:
    Cursor* cursor_;
};

// The member names seen in one object. Objects of a setup have a handful of
// members, so a short list compared in turn costs less than a tree; a large object
// switches to a hash set, so no object costs time quadratic in its members. One set
// serves every object met at its depth in turn, so a list of a million small objects
// costs no allocation per object.
class KeySet {
  public:
    void Clear() {
        few_.clear();
        many_.clear();
        large_ = false;
    }
    bool Insert(std::string_view key) {
        if (!large_) {
            for (const std::string& k : few_)
                if (k == key) return false;
            if (few_.size() < kFew) {
                few_.emplace_back(key);
                return true;
            }
            many_.insert(few_.begin(), few_.end());
            large_ = true;
        }
        return many_.emplace(key).second;
    }

  private:
    static constexpr std::size_t kFew = 16;
    std::vector<std::string> few_;
    std::unordered_set<std::string> many_;
    bool large_ = false;
};

// The parser's own text after "[json.exception.parse_error.101] parse error at line
// 1, column 3: " (its place is replaced by ours, counted the same way for every fault).
std::string ParserReason(const std::string& what) {
    std::size_t start = what.find("] ");
    start = start == std::string::npos ? 0 : start + 2;
    const std::size_t column = what.find("column ", start);
    if (column != std::string::npos) {
        const std::size_t colon = what.find(": ", column);
        if (colon != std::string::npos) start = colon + 2;
    }
    return what.substr(start);
}

// Stands between the parser and a reader's events. It refuses a level deeper than the
// limit at its opening bracket, so a hostile file never gets a deep value built
// (whose copy or destruction would recurse), and refuses a member name seen before in
// the same object: the plain parser would keep only the last one without a word.
class Checker {
  public:
    Checker(Cursor& cursor, const ReadRules& rules, Events& events)
        : cursor_(cursor), rules_(rules), events_(events) {}

    const std::string& error() const { return error_; }

    bool null() { return Forward(&Events::Null); }
    bool boolean(bool b) {
        events_.Boolean(b);
        return true;
    }
    bool number_integer(Value::number_integer_t n) {
        events_.Integer(n);
        return true;
    }
    bool number_unsigned(Value::number_unsigned_t n) {
        events_.Unsigned(n);
        return true;
    }
    bool number_float(Value::number_float_t n, const std::string&) {
        events_.Float(n);
        return true;
    }
    bool string(Value::string_t& s) {
        events_.String(s);
        return true;
    }
    // Binary values exist only in the binary formats, never in JSON text.
    bool binary(Value::binary_t&) { return Refuse("binary value"); }

    bool start_object(std::size_t) {
        if (!Deeper()) return false;
        if (keys_.size() < depth_) keys_.resize(depth_);
        keys_[depth_ - 1].Clear();
        return Forward(&Events::StartObject);
    }
    bool start_array(std::size_t) { return Deeper() && Forward(&Events::StartArray); }
    bool end_object() {
        --depth_;
        return Forward(&Events::EndObject);
    }
    bool end_array() {
        --depth_;
        return Forward(&Events::EndArray);
    }

    bool key(Value::string_t& k) {
        std::string_view name = k;
        if (rules_.fold_case) {
            folded_.assign(k);
            for (char& c : folded_)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            name = folded_;
        }
        if (!keys_[depth_ - 1].Insert(name)) return Refuse("duplicate key \"" + k + "\"");
        events_.Key(k);
        return true;
    }

    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& ex) {
        // Numbers beyond the range of a double are an out_of_range fault of the parser.
        const bool overflow = dynamic_cast<const nlohmann::detail::out_of_range*>(&ex) != nullptr;
        std::string reason = ParserReason(ex.what());
        if (overflow) {
            const std::size_t quote = reason.find('\'');
            const std::size_t end = reason.rfind('\'');
            const std::string literal = quote != std::string::npos && end > quote
                                            ? reason.substr(quote + 1, end - quote - 1)
                                            : std::string();
            reason = "a number is not finite (" + literal + " is beyond the range of a double)";
        } else {
            reason = "not valid JSON (" + reason + ")";
        }
        if (error_.empty()) error_ = cursor_.Place(position) + ": " + reason;
        return false;
    }

  private:
    bool Forward(void (Events::*event)()) {
        (events_.*event)();
        return true;
    }
    bool Deeper() {
        if (static_cast<int>(depth_) >= rules_.max_depth)
            return Refuse("nested deeper than " + std::to_string(rules_.max_depth) + " levels");
        ++depth_;
        return true;
    }
    bool Refuse(std::string what) {
        error_ = cursor_.Place(cursor_.Offset()) + ": " + what;
        return false;
    }

    Cursor& cursor_;
    const ReadRules& rules_;
    Events& events_;
    std::size_t depth_ = 0;
    // One set of member names per depth, reused by every object at that depth.
    std::vector<KeySet> keys_;
    std::string folded_;
    std::string error_;
};

// Opens a regular file for reading; null with the reason in `error` when it is not one
// or cannot be opened.
std::unique_ptr<FILE, int (*)(FILE*)> OpenRegularFile(const std::string& path, std::string& error) {
    // Opened first, then examined, so the check and the read concern the same file.
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = std::strerror(errno);
        return file;
    }
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0)
        error = std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        error = "is a folder, not a file";
    else if (!S_ISREG(info.st_mode))
        error = "is not a regular file";
    if (!error.empty()) file.reset();
    return file;
}

std::string Read(Cursor& cursor, const ReadRules& rules, Events& events) {
    Checker checker(cursor, rules, events);
    bool ok = false;
    try {
        // The parser the library's sax_parse runs, over our input instead of an iterator
        // pair (whose end test per character cost more than the rest of the reading).
        ok = nlohmann::detail::parser<Value, CursorInput>(CursorInput(cursor), nullptr, true, false)
                 .sax_parse(&checker, true);
    } catch (const std::exception& e) {
        // The parser reports through parse_error; this is a last guard (out of memory).
        return cursor.Place(cursor.Offset()) + ": cannot be read (" + e.what() + ")";
    }
    if (!ok) return checker.error().empty() ? "not valid JSON" : checker.error();
    return {};
}

}  // namespace

std::string ReadEvents(std::string_view text, const ReadRules& rules, Events& events) {
    Cursor cursor(text);
    return Read(cursor, rules, events);
}

bool ReadFileEvents(const std::string& path, const ReadRules& rules, Events& events,
                    std::string& reason, std::string& fault) {
    const auto file = OpenRegularFile(path, reason);
    if (!file) return false;
    Cursor cursor(file.get());
    fault = Read(cursor, rules, events);
    if (cursor.ReadError() != 0) {
        reason = std::strerror(cursor.ReadError());
        return false;
    }
    return true;
}

Document Parse(std::string_view text, const ReadRules& rules) {
    Document doc;
    ValueBuilder builder;
    doc.error = ReadEvents(text, rules, builder);
    if (doc.ok()) doc.value = std::move(builder.Result());
    return doc;
}

void ValueBuilder::Reset() {
    root_ = Value();
    stack_.clear();
    key_.clear();
    done_ = false;
}

// Adds a value where the reader stands: the root, the next array element or the
// member named by the last key.
Value* ValueBuilder::Add(Value&& v) {
    if (stack_.empty()) {
        root_ = std::move(v);
        return &root_;
    }
    Value& parent = *stack_.back();
    if (parent.is_array()) {
        parent.push_back(std::move(v));
        return &parent.back();
    }
    // The key is new (the reader checked it); appending directly keeps building linear
    // in the number of members (a keyed insert searches the members first).
    auto& members = parent.get_ref<Value::object_t&>();
    members.emplace_back(std::move(key_), std::move(v));
    return &members.back().second;
}

void ValueBuilder::Put(Value&& v) {
    Add(std::move(v));
    done_ = stack_.empty();
}

void ValueBuilder::Open(Value&& container) {
    stack_.push_back(Add(std::move(container)));
}

void ValueBuilder::Close() {
    stack_.pop_back();
    done_ = stack_.empty();
}

bool ReadFileText(const std::string& path, std::string& text, std::string& error) {
    const auto file = OpenRegularFile(path, error);
    if (!file) return false;
    text.clear();
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
    if (std::ferror(file.get())) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

Place Place::Member(std::string_view key) const {
    return Place(path_.empty() ? std::string(key) : path_ + "." + std::string(key));
}

Place Place::Index(std::size_t i) const {
    return Place(path_ + "[" + std::to_string(i) + "]");
}

void Fault::Set(const Place& place, std::string what) {
    if (!what_.empty()) return;
    where_ = place.Text();
    what_ = std::move(what);
}

std::string Fault::Text() const {
    return where_.empty() ? what_ : where_ + ": " + what_;
}

ObjectReader::ObjectReader(const Value& value, Place place, Fault& fault)
    : value_(value), place_(std::move(place)), fault_(fault) {
    if (!value_.is_object()) fault_.Set(place_, "not an object");
}

bool ObjectReader::Has(std::string_view key) const {
    return value_.is_object() && value_.find(std::string(key)) != value_.end();
}

const Value* ObjectReader::Find(std::string_view key, Need need) {
    Known(key);
    if (fault_ || !value_.is_object()) return nullptr;
    const auto it = value_.find(std::string(key));
    if (it == value_.end()) {
        if (need == kRequired) fault_.Set(At(key), "missing");
        return nullptr;
    }
    return &*it;
}

std::optional<double> ObjectReader::Number(std::string_view key, Need need) {
    const Value* v = Find(key, need);
    if (!v) return std::nullopt;
    if (!v->is_number()) {
        fault_.Set(At(key), "not a number");
        return std::nullopt;
    }
    const double d = v->get<double>();
    if (!std::isfinite(d)) {
        fault_.Set(At(key), "not a finite number");
        return std::nullopt;
    }
    return d;
}

std::optional<double> ObjectReader::Number(std::string_view key, double min, double max,
                                           Need need) {
    const auto d = Number(key, need);
    if (!d) return std::nullopt;
    if (!(*d >= min && *d <= max)) {
        std::ostringstream text;
        text << *d << " is outside " << min << " to " << max;
        fault_.Set(At(key), text.str());
        return std::nullopt;
    }
    return d;
}

std::optional<std::int64_t> ObjectReader::Whole(std::string_view key, std::int64_t min,
                                                std::int64_t max, Need need) {
    const auto d = Number(key, need);
    if (!d) return std::nullopt;
    if (*d != std::floor(*d)) {
        fault_.Set(At(key), "not a whole number");
        return std::nullopt;
    }
    if (!(*d >= static_cast<double>(min) && *d <= static_cast<double>(max))) {
        std::ostringstream text;
        text << *d << " is outside " << min << " to " << max;
        fault_.Set(At(key), text.str());
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*d);
}

std::optional<bool> ObjectReader::Bool(std::string_view key, Need need) {
    const Value* v = Find(key, need);
    if (!v) return std::nullopt;
    if (!v->is_boolean()) {
        fault_.Set(At(key), "not true or false");
        return std::nullopt;
    }
    return v->get<bool>();
}

std::optional<std::string> ObjectReader::Text(std::string_view key, Need need) {
    const Value* v = Find(key, need);
    if (!v) return std::nullopt;
    if (!v->is_string()) {
        fault_.Set(At(key), "not a text");
        return std::nullopt;
    }
    return v->get<std::string>();
}

const Value* ObjectReader::Object(std::string_view key, Need need) {
    const Value* v = Find(key, need);
    if (v && !v->is_object()) {
        fault_.Set(At(key), "not an object");
        return nullptr;
    }
    return v;
}

const Value* ObjectReader::Array(std::string_view key, Need need) {
    const Value* v = Find(key, need);
    if (v && !v->is_array()) {
        fault_.Set(At(key), "not an array");
        return nullptr;
    }
    return v;
}

void ObjectReader::RefuseUnknown() {
    if (fault_ || !value_.is_object()) return;
    for (auto it = value_.begin(); it != value_.end(); ++it) {
        if (!known_.count(it.key())) {
            fault_.Set(At(it.key()), "unknown key");
            return;
        }
    }
}

}  // namespace orvex::json
