// The one JSON reader: what it refuses, and that it names the place.

#include "util/json/json_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using orvex::json::Parse;

std::string Nested(int depth, char open, char close) {
    return std::string(static_cast<std::size_t>(depth), open) +
           std::string(static_cast<std::size_t>(depth), close);
}

TEST(JsonReader, RefusesBadTextNamingLineAndColumn) {
    struct Case {
        std::string text;
        orvex::json::ReadRules rules;
        std::string error;  // the whole message
    } cases[] = {
        {"{\n  \"a\": 1,\n  \"a\": 2\n}", {}, "line 3, column 5: duplicate key \"a\""},
        {"{\"Name\": 1, \"nAME\": 2}",
         {.fold_case = true},
         "line 1, column 18: duplicate key \"nAME\""},
        {"{\"x\": [1, 2,\n 3e999]}",
         {},
         "line 2, column 6: a number is not finite (3e999 is beyond the range of a double)"},
        {Nested(4, '[', ']'), {.max_depth = 3}, "line 1, column 4: nested deeper than 3 levels"},
        {"{\"a\":\n\n   {\"b\": {\"c\": {}}}}",
         {.max_depth = 3},
         "line 3, column 16: nested deeper than 3 levels"},
    };
    for (const Case& c : cases) {
        const auto doc = Parse(c.text, c.rules);
        EXPECT_FALSE(doc.ok()) << c.text;
        EXPECT_EQ(doc.error, c.error) << c.text;
    }
    const auto broken = Parse("{\n  \"a\": tru }");
    EXPECT_EQ(broken.error.rfind("line 2, column ", 0), 0u) << broken.error;
    EXPECT_NE(broken.error.find("not valid JSON ("), std::string::npos) << broken.error;
    for (const char* text : {"", "   ", "{", "[1,]", "{\"a\" 1}", "\"\\ud800\"", "1 2"})
        EXPECT_FALSE(Parse(text).ok()) << text;
}

TEST(JsonReader, RefusesDeepNestingWithoutBuildingIt) {
    // A million levels would overflow the stack of a recursive reader or copy.
    for (char open : {'[', '{'}) {
        std::string text = open == '[' ? Nested(1'000'000, '[', ']') : std::string();
        if (open == '{')
            for (int i = 0; i < 1'000'000; ++i) text += "{\"k\":";
        const auto doc = Parse(text);
        ASSERT_FALSE(doc.ok());
        EXPECT_EQ(doc.error, "line 1, column " + std::to_string(open == '[' ? 17 : 81) +
                                 ": nested deeper than 16 levels");
    }
    EXPECT_TRUE(Parse(Nested(16, '[', ']')).ok());
}

TEST(JsonReader, KeepsMemberOrderAndValues) {
    const auto doc =
        Parse(R"({"z": 1, "a": [true, null, "x", -2, 18446744073709551615, 0.5], "m": {}})");
    ASSERT_TRUE(doc.ok()) << doc.error;
    EXPECT_EQ(doc.value.dump(),
              R"({"z":1,"a":[true,null,"x",-2,18446744073709551615,0.5],"m":{}})");
    // The same name in another letter case is another name unless the rules fold.
    EXPECT_TRUE(Parse(R"({"a": 1, "A": 2})").ok());
    // Each object has its own names.
    EXPECT_TRUE(Parse(R"([{"a": 1}, {"a": 2}, {"b": {"a": 3}}])", {.fold_case = true}).ok());
}

TEST(JsonReader, ObjectReaderNamesThePathOfTheFirstFault) {
    const auto doc = Parse(
        R"({"list": [{"n": 1.5, "w": 2.5, "b": 1, "t": 3, "o": [], "r": -1, "x": 0}], "ok": 2})");
    ASSERT_TRUE(doc.ok());
    using orvex::json::Fault;
    using orvex::json::ObjectReader;
    using orvex::json::Place;
    const auto& item = doc.value["list"][0];
    struct Case {
        std::function<void(ObjectReader&)> read;
        std::string fault;
    } cases[] = {
        {[](ObjectReader& r) { r.Number("missing"); }, "list[0].missing: missing"},
        {[](ObjectReader& r) { r.Number("t", 0, 2); }, "list[0].t: 3 is outside 0 to 2"},
        {[](ObjectReader& r) { r.Whole("w", 0, 10); }, "list[0].w: not a whole number"},
        {[](ObjectReader& r) { r.Whole("r", 0, 10); }, "list[0].r: -1 is outside 0 to 10"},
        {[](ObjectReader& r) { r.Bool("b"); }, "list[0].b: not true or false"},
        {[](ObjectReader& r) { r.Text("n"); }, "list[0].n: not a text"},
        {[](ObjectReader& r) { r.Object("o"); }, "list[0].o: not an object"},
        {[](ObjectReader& r) { r.Array("n"); }, "list[0].n: not an array"},
        {[](ObjectReader& r) {
             r.Number("n");
             r.RefuseUnknown();
         },
         "list[0].w: unknown key"},
        // Only the first fault is kept.
        {[](ObjectReader& r) {
             r.Bool("b");
             r.Text("n");
         },
         "list[0].b: not true or false"},
    };
    for (const Case& c : cases) {
        Fault fault;
        ObjectReader r(item, Place("list").Index(0), fault);
        c.read(r);
        EXPECT_EQ(fault.Text(), c.fault);
    }
    Fault fault;
    ObjectReader top(doc.value, Place(), fault);
    EXPECT_EQ(top.Whole("ok", 0, 5), 2);
    EXPECT_EQ(top.Number("absent", ObjectReader::kOptional), std::nullopt);
    EXPECT_FALSE(fault);
    ObjectReader not_object(doc.value["list"], Place("list"), fault);
    EXPECT_EQ(fault.Text(), "list: not an object");
}

// A file is read a piece at a time (64 KiB); a fault names the same line and column
// as in the whole text, wherever it falls against the end of a piece.
TEST(JsonReader, FaultInAFileNamesItsPlaceAcrossPieces) {
    namespace fs = std::filesystem;
    const std::string path =
        (fs::temp_directory_path() / ("orvex-pieces-" + std::to_string(::getpid()) + ".json"))
            .string();
    const std::size_t kPiece = 65536;
    struct Case {
        std::string tail;     // what follows the filler; its first character sits at `at`
        std::size_t line_of;  // a character of the tail on the line of the fault
        std::string what;
    } cases[] = {
        {"x]}", 0, "not valid JSON"},
        {"\n x]}", 2, "not valid JSON"},
        {"1], \"k\": 2}", 0, "duplicate key \"k\""},
        {"1, [[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]}", 0, "nested deeper than 16 levels"},
    };
    for (const Case& c : cases) {
        for (std::size_t at = kPiece - 3; at <= kPiece + 2; ++at) {
            std::string text = "{\"k\": [";
            while (text.size() + 3 <= at) text += "1,\n";
            text.append(at - text.size(), ' ');
            text += c.tail;
            std::ofstream(path, std::ios::binary) << text;
            orvex::json::ValueBuilder in_text, in_file;
            const std::string expected = orvex::json::ReadEvents(text, {}, in_text);
            std::string reason, fault;
            ASSERT_TRUE(orvex::json::ReadFileEvents(path, {}, in_file, reason, fault)) << reason;
            EXPECT_EQ(fault, expected) << "fault at " << at;
            EXPECT_NE(fault.find(c.what), std::string::npos) << fault;
            const auto lines = std::count(text.begin(), text.begin() + at + c.line_of, '\n');
            EXPECT_EQ(fault.rfind("line " + std::to_string(1 + lines) + ", column ", 0), 0u)
                << fault << " at " << at;
        }
    }
    fs::remove(path);
}

TEST(JsonReader, ReadFileTextSaysWhyAFileCannotBeRead) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("orvex-json-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "a.json").string();
    std::ofstream(file) << "{}";
    std::string text, error;
    EXPECT_TRUE(orvex::json::ReadFileText(file, text, error)) << error;
    EXPECT_EQ(text, "{}");
    EXPECT_FALSE(orvex::json::ReadFileText(dir.string(), text, error));
    EXPECT_EQ(error, "is a folder, not a file");
    EXPECT_FALSE(orvex::json::ReadFileText((dir / "none.json").string(), text, error));
    EXPECT_EQ(error, "No such file or directory");
    if (::geteuid() != 0) {  // root reads any file
        ::chmod(file.c_str(), 0);
        EXPECT_FALSE(orvex::json::ReadFileText(file, text, error));
        EXPECT_EQ(error, "Permission denied");
    }
    fs::remove_all(dir);
}

}  // namespace
