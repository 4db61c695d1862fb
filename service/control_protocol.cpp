#include "service/control_protocol.h"

#include <algorithm>
#include <array>
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

RequestParse parseRequest(std::string_view line) {
    RequestParse out;
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        out.error = "not a JSON object";
        return out;
    }
    if (const auto id = object.find("id"); id != object.end() && (id->is_string() || id->is_number())) out.id = *id;
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
    const auto timeout = integer(object, "timeout", 0, kLongestRequestTimeoutMs, kDefaultRequestTimeoutMs, false,
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
    buffer_.append(bytes);
}

std::optional<std::string> LineReader::next() {
    if (overflowed_) return std::nullopt;
    const std::size_t end = buffer_.find('\n', scanned_);
    if (end == std::string::npos) {
        scanned_ = buffer_.size();
        if (buffer_.size() > limit_) {
            overflowed_ = true;
            buffer_.clear();
            buffer_.shrink_to_fit();
        }
        return std::nullopt;
    }
    if (end > limit_) {
        overflowed_ = true;
        buffer_.clear();
        buffer_.shrink_to_fit();
        return std::nullopt;
    }
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    scanned_ = 0;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace velmora
