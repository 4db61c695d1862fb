#include "service/control_protocol.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace velmora {

namespace {

struct KindName {
    RequestKind kind;
    const char* name;
};
constexpr std::array<KindName, 11> kKinds{{
    {RequestKind::hello, "hello"},
    {RequestKind::status, "status"},
    {RequestKind::switchPorts, "switch"},
    {RequestKind::cycle, "cycle"},
    {RequestKind::version, "version"},
    {RequestKind::clock, "clock"},
    {RequestKind::scheduleSend, "schedule-send"},
    {RequestKind::scheduleSave, "schedule-save"},
    {RequestKind::watch, "watch"},
    {RequestKind::upgrade, "upgrade"},
    {RequestKind::metrics, "metrics"},
}};

// An integer member within [lo, hi]; nullopt (with `error` set) otherwise.
std::optional<int> integer(const Json& object, const char* key, int lo, int hi, int fallback,
                           bool required, std::string& error) {
    const auto it = object.find(key);
    if (it == object.end()) {
        if (required) error = std::string("\"") + key + "\" is missing";
        return required ? std::nullopt : std::optional<int>(fallback);
    }
    if (!it->is_number_integer() || it->get<long long>() < lo || it->get<long long>() > hi) {
        error = std::string("\"") + key + "\" must be a whole number from " + std::to_string(lo) + " to " +
                std::to_string(hi);
        return std::nullopt;
    }
    return static_cast<int>(it->get<long long>());
}

}  // namespace

const char* requestName(RequestKind kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind) return k.name;
    return "status";
}

namespace {

// Checks a line's shape before a tree is built from it: one flat object
// of a few keys. A request never needs more, and a tree of ninety thousand
// ordered keys takes seconds to build, every other client waiting.
class RequestShape final : public nlohmann::json_sax<Json> {
public:
    std::string error;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        if (++depth_ == 1) return true;
        return refuse("a request is one object of plain values, nothing nested");
    }
    bool key(string_t&) override {
        if (++keys_ <= kMaxRequestKeys) return true;
        return refuse("a request has at most " + std::to_string(kMaxRequestKeys) + " keys");
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool start_array(std::size_t) override {
        return refuse(depth_ == 0 ? "not a JSON object" : "a request is one object of plain values, nothing nested");
    }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return refuse("not a JSON object");
    }

private:
    bool refuse(std::string why) {
        if (error.empty()) error = std::move(why);
        return false;
    }
    int depth_ = 0;
    std::size_t keys_ = 0;
};

// The id as the client may give it: a string, or a whole number that a
// double holds exactly (what JavaScript and most JSON readers keep).
bool idUsable(const Json& id) {
    constexpr std::int64_t kExact = std::int64_t{1} << 53;
    if (id.is_string()) return true;
    if (id.is_number_unsigned()) return id.get<std::uint64_t>() <= static_cast<std::uint64_t>(kExact);
    if (id.is_number_integer()) return id.get<std::int64_t>() >= -kExact && id.get<std::int64_t>() <= kExact;
    return false;
}

}  // namespace

bool blankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

RequestParse parseRequest(std::string_view line) {
    RequestParse out;
    RequestShape shape;
    if (!Json::sax_parse(line, &shape, nlohmann::detail::input_format_t::json, true, false) || !shape.error.empty()) {
        out.error = shape.error.empty() ? "not a JSON object" : shape.error;
        return out;
    }
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        out.error = "not a JSON object";
        return out;
    }
    if (const auto id = object.find("id"); id != object.end() && !id->is_null()) {
        if (!idUsable(*id)) {
            out.error = "\"id\" must be a string or a whole number within 2^53";
            return out;
        }
        out.id = *id;
    }
    const auto command = object.find("command");
    if (command == object.end() || !command->is_string()) {
        out.error = "\"command\" is missing";
        return out;
    }
    Request r;
    r.id = out.id;
    const std::string name = command->get<std::string>();
    const auto kind = std::find_if(kKinds.begin(), kKinds.end(), [&](const KindName& k) { return name == k.name; });
    if (kind == kKinds.end()) {
        out.error = "unknown command \"" + name + "\"";
        return out;
    }
    r.kind = kind->kind;
    const auto timeout = integer(object, "timeout", kShortestRequestTimeoutMs, kLongestRequestTimeoutMs, kDefaultRequestTimeoutMs, false,
                                 out.error);
    if (!timeout) return out;
    r.timeoutMs = *timeout;
    if (r.kind == RequestKind::switchPorts || r.kind == RequestKind::cycle) {
        const auto bank = integer(object, "bank", 0, 99, 0, true, out.error);
        if (!bank) return out;
        const auto port = integer(object, "port", 0, 8, 0, true, out.error);
        if (!port) return out;
        if (*bank == 0 && *port != 0) {
            out.error = "a port needs its bank";
            return out;
        }
        r.bank = *bank;
        r.port = *port;
    }
    if (r.kind == RequestKind::switchPorts) {
        const auto on = object.find("on");
        if (on == object.end() || !on->is_boolean()) {
            out.error = "\"on\" must be true or false";
            return out;
        }
        r.on = on->get<bool>();
    }
    if (r.kind == RequestKind::cycle) {
        const auto delay = integer(object, "delay", 0, kLongestRequestTimeoutMs, 5000, false, out.error);
        if (!delay) return out;
        r.delayMs = *delay;
    }
    if (r.kind == RequestKind::scheduleSend) {
        const auto text = object.find("text");
        if (text == object.end() || !text->is_string()) {
            out.error = "\"text\" must hold the schedule file";
            return out;
        }
        r.text = text->get<std::string>();
    }
    if (r.kind == RequestKind::upgrade) {
        const auto image = object.find("image");
        if (image == object.end() || !image->is_string()) {
            out.error = "\"image\" must hold the firmware image";
            return out;
        }
        r.text = image->get<std::string>();
    }
    out.request = std::move(r);
    return out;
}

std::string requestLine(const Request& r) {
    Json object = {{"id", r.id}, {"command", requestName(r.kind)}};
    if (r.timeoutMs != kDefaultRequestTimeoutMs) object["timeout"] = r.timeoutMs;
    if (r.kind == RequestKind::switchPorts) object["on"] = r.on;
    if (r.kind == RequestKind::switchPorts || r.kind == RequestKind::cycle) {
        object["bank"] = r.bank;
        object["port"] = r.port;
    }
    if (r.kind == RequestKind::cycle) object["delay"] = r.delayMs;
    if (r.kind == RequestKind::scheduleSend) object["text"] = r.text;
    if (r.kind == RequestKind::upgrade) object["image"] = r.text;
    return answerText(object);
}

std::string answerText(const Json& answer) {
    return answer.dump(-1, ' ', true, Json::error_handler_t::replace) + "\n";
}

std::string okLine(const Json& id, Json fields) {
    Json answer = {{"id", id}, {"ok", true}};
    if (fields.is_object()) answer.update(fields);
    return answerText(answer);
}

std::string errorLine(const Json& id, std::string_view error, int exitCode) {
    return answerText({{"id", id}, {"ok", false}, {"error", std::string(error)}, {"exitCode", exitCode}});
}

void LineReader::feed(std::string_view bytes) {
    if (overflowed_) return;
    // What was handed out already goes once, not per line: many short lines
    // in one read stay linear.
    if (start_ > 0 && (start_ == buffer_.size() || start_ >= buffer_.size() / 2)) {
        buffer_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;
    }
    buffer_.append(bytes);
}

std::optional<std::string> LineReader::next() {
    if (overflowed_) return std::nullopt;
    const std::size_t end = buffer_.find('\n', scanned_);
    if (end == std::string::npos) {
        scanned_ = buffer_.size();
        if (buffer_.size() - start_ > limit_) overflow();
        return std::nullopt;
    }
    if (end - start_ > limit_) {
        overflow();
        return std::nullopt;
    }
    std::string line = buffer_.substr(start_, end - start_);
    start_ = end + 1;
    scanned_ = start_;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = scanned_ = 0;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void LineReader::overflow() {
    overflowed_ = true;
    buffer_.clear();
    buffer_.shrink_to_fit();
    start_ = scanned_ = 0;
}

}  // namespace velmora
