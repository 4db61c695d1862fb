// The request language as a hostile client would use it: what is refused
// before a JSON tree is built, ids that must come back exactly, and line
// cutting that stays linear however the bytes arrive.

#include "service/control_protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

std::string manyKeys(std::size_t n) {
    std::string line = R"({"id":1,"command":"status")";
    for (std::size_t i = 0; i < n; ++i) line += ",\"k" + std::to_string(i) + "\":0";
    return line + "}";
}

TEST(ControlProtocol, RequestsAreRefusedOrTakenAsTheyShouldBe) {
    const struct {
        const char* name;
        std::string line;
        const char* error;  // part of the error; nullptr: taken
    } cases[] = {
        {"plain", R"({"id":7,"command":"status"})", nullptr},
        {"a few unknown keys are tolerated", manyKeys(20), nullptr},
        {"ninety thousand keys", manyKeys(90000), "at most 32 keys"},
        {"nested object", R"({"id":1,"command":"status","x":{"y":1}})", "nothing nested"},
        {"nested array", R"({"id":1,"command":"status","x":[1]})", "nothing nested"},
        {"an array", R"([1,2])", "not a JSON object"},
        {"junk", "hello", "not a JSON object"},
        {"id beyond 2^53", R"({"id":99999999999999999999999,"command":"status"})", "\"id\""},
        {"id with a fraction", R"({"id":1.5,"command":"status"})", "\"id\""},
        {"id 2^53", R"({"id":9007199254740992,"command":"status"})", nullptr},
        {"id a string", R"({"id":"a-b","command":"status"})", nullptr},
        {"timeout 0", R"({"id":1,"command":"status","timeout":0})", "\"timeout\""},
        {"timeout 99 ms", R"({"id":1,"command":"status","timeout":99})", "\"timeout\""},
        {"timeout 100 ms", R"({"id":1,"command":"status","timeout":100})", nullptr},
    };
    for (const auto& c : cases) {
        const RequestParse p = parseRequest(c.line);
        if (c.error == nullptr) {
            EXPECT_TRUE(p.request) << c.name << ": " << p.error;
        } else {
            EXPECT_FALSE(p.request) << c.name;
            EXPECT_NE(p.error.find(c.error), std::string::npos) << c.name << ": " << p.error;
        }
    }
}

TEST(ControlProtocol, IdsComeBackExactlyAsGiven) {
    for (const char* id : {"9007199254740992", "-9007199254740992", "0", "\"x y\""}) {
        const RequestParse p = parseRequest(std::string(R"({"command":"hello","id":)") + id + "}");
        ASSERT_TRUE(p.request) << id << ": " << p.error;
        const std::string answer = okLine(p.request->id);
        EXPECT_NE(answer.find(std::string("\"id\":") + id), std::string::npos) << answer;
    }
}

TEST(ControlProtocol, BlankLinesAreNotRequests) {
    for (const char* line : {"", " ", "\t \r"}) EXPECT_TRUE(blankLine(line)) << '"' << line << '"';
    EXPECT_FALSE(blankLine(" {}"));
}

// However the bytes are cut, every line comes out once, whole and in order,
// and what was taken does not stay buffered.
TEST(ControlProtocol, LinesComeOutWholeHoweverTheBytesArrive) {
    std::string stream;
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        expected.push_back(i % 3 == 0 ? std::string() : "line " + std::to_string(i));
        stream += expected.back() + (i % 5 == 0 ? "\r\n" : "\n");
    }
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, stream.size()}) {
        LineReader reader(64);
        std::vector<std::string> got;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.feed(std::string_view(stream).substr(at, chunk));
            while (auto line = reader.next()) got.push_back(*line);
        }
        EXPECT_EQ(got, expected) << "chunks of " << chunk;
        EXPECT_EQ(reader.buffered(), 0u) << "chunks of " << chunk;
        EXPECT_FALSE(reader.overflowed());
    }
}

TEST(ControlProtocol, ALineLongerThanTheLimitEndsTheStreamWhereverItStarts) {
    LineReader reader(10);
    reader.feed("short\n0123456789A");
    EXPECT_EQ(reader.next(), "short");
    EXPECT_FALSE(reader.next());
    EXPECT_TRUE(reader.overflowed());
    LineReader exact(10);
    exact.feed("0123456789\n");
    EXPECT_EQ(exact.next(), "0123456789");
}

}  // namespace
}  // namespace velmora
