#include "platform/traced_serial.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace velmora {

namespace {

constexpr std::size_t kMaxOpenLine = 256;

bool endsReceivedLine(char c) {
    return c == '\\' || c == '>' || c == '!' || c == '\r' || c == '\n' || c == '\b';
}

const char* modeName(SerialMode mode) { return mode == SerialMode::probe ? "probe" : "link"; }

}  // namespace

void appendTraceEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        }
    }
}

namespace {

void appendStamp(std::string& out, std::int64_t micros) {
    if (micros < 0) micros = 0;
    char stamp[32];
    const int n = std::snprintf(stamp, sizeof stamp, "%lld.%03lld", static_cast<long long>(micros / 1000),
                                static_cast<long long>(micros % 1000));
    if (n > 0) out.append(stamp, static_cast<std::size_t>(n));
}

}  // namespace

std::string formatTraceLine(std::int64_t micros, std::string_view tag, std::string_view text) {
    std::string line;
    appendStamp(line, micros);
    line += ' ';
    line += tag;
    if (!text.empty()) {
        line += ' ';
        line += text;
    }
    line += '\n';
    return line;
}

TraceWriter::TraceWriter(std::FILE* file, std::function<std::int64_t()> nowMicros)
    : file_(file), now_(std::move(nowMicros)) {
    scratch_.reserve(512);
}

TraceWriter::~TraceWriter() {
    std::lock_guard lock(mutex_);
    flushReceivedLocked();
    if (owned_ && file_) std::fclose(file_);
}

std::unique_ptr<TraceWriter> TraceWriter::open(const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    const auto start = std::chrono::steady_clock::now();
    auto writer = std::make_unique<TraceWriter>(f, [start] {
        return static_cast<std::int64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
    });
    writer->owned_ = true;
    return writer;
}

void TraceWriter::emitLocked(std::string_view tag, std::string_view text, bool escape) {
    scratch_.clear();
    appendStamp(scratch_, now_ ? now_() : 0);
    scratch_ += ' ';
    scratch_ += tag;
    if (!text.empty()) {
        scratch_ += ' ';
        if (escape) {
            appendTraceEscaped(scratch_, text);
        } else {
            scratch_ += text;
        }
    }
    scratch_ += '\n';
    if (!file_) return;
    // Flushed line by line: what was traced is in the file even if the
    // program dies the next moment.
    if (std::fwrite(scratch_.data(), 1, scratch_.size(), file_) != scratch_.size() || std::fflush(file_) != 0)
        healthy_ = false;
    ++lines_;
}

void TraceWriter::flushReceivedLocked() {
    if (pending_.empty()) return;
    emitLocked("RX", pending_, true);
    pending_.clear();
}

void TraceWriter::sent(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    // What came in before this write is shown before it.
    flushReceivedLocked();
    emitLocked("TX", bytes, true);
}

void TraceWriter::received(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    for (char c : bytes) {
        if (c == '/' && !pending_.empty()) flushReceivedLocked();
        pending_ += c;
        if (endsReceivedLine(c) || pending_.size() >= kMaxOpenLine) flushReceivedLocked();
    }
}

void TraceWriter::event(std::string_view tag, std::string_view text) {
    std::lock_guard lock(mutex_);
    flushReceivedLocked();
    emitLocked(tag, text, false);
}

void TraceWriter::flushReceived() {
    std::lock_guard lock(mutex_);
    flushReceivedLocked();
}

std::size_t TraceWriter::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool TraceWriter::healthy() const {
    std::lock_guard lock(mutex_);
    return healthy_;
}

TracedSerialDevice::TracedSerialDevice(std::shared_ptr<SerialDevice> inner, std::shared_ptr<TraceWriter> writer)
    : ForwardingSerialDevice(std::move(inner)), writer_(std::move(writer)) {}

SerialStatus TracedSerialDevice::open(const std::string& device, SerialMode mode) {
    const SerialStatus s = inner().open(device, mode);
    std::string text;
    appendTraceEscaped(text, device);
    text += ' ';
    text += modeName(mode);
    text += ' ';
    text += serialStatusText(s);
    writer_->event("OPEN", text);
    return s;
}

SerialIo TracedSerialDevice::read(std::uint8_t* buffer, std::size_t size) {
    const SerialIo r = inner().read(buffer, size);
    if (r.bytes > 0) writer_->received(std::string_view(reinterpret_cast<const char*>(buffer), r.bytes));
    return r;
}

SerialIo TracedSerialDevice::write(const std::uint8_t* data, std::size_t size) {
    const SerialIo r = inner().write(data, size);
    if (r.bytes > 0) writer_->sent(std::string_view(reinterpret_cast<const char*>(data), r.bytes));
    if (r.status != SerialStatus::ok || r.bytes != size) {
        std::string text = serialStatusText(r.status);
        text += ' ';
        text += std::to_string(r.bytes);
        text += " of ";
        text += std::to_string(size);
        writer_->event("TX-FAIL", text);
    }
    return r;
}

void TracedSerialDevice::close() {
    const bool wasOpen = inner().isOpen();
    inner().close();
    if (wasOpen) writer_->event("CLOSE", "");
}

std::function<std::unique_ptr<SerialDevice>()> tracedFactory(std::function<std::unique_ptr<SerialDevice>()> make,
                                                             std::shared_ptr<TraceWriter> writer) {
    if (!writer) return make;
    return [make = std::move(make), writer = std::move(writer)]() -> std::unique_ptr<SerialDevice> {
        std::unique_ptr<SerialDevice> device = make ? make() : nullptr;
        if (!device) return nullptr;
        return std::make_unique<TracedSerialDevice>(std::shared_ptr<SerialDevice>(std::move(device)), writer);
    };
}

TraceOption takeTraceOption(std::vector<std::string>& args) {
    TraceOption option;
    constexpr std::string_view kTrace = "--trace";
    for (std::size_t i = 0; i < args.size();) {
        const std::string_view arg = args[i];
        if (arg == kTrace) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                option.error = "--trace needs a file, e.g. --trace /tmp/velmora.trace";
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            option.file = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        } else if (arg.substr(0, kTrace.size() + 1) == "--trace=") {
            const std::string_view file = arg.substr(kTrace.size() + 1);
            if (file.empty()) {
                option.error = "--trace needs a file, e.g. --trace /tmp/velmora.trace";
            } else {
                option.file = std::string(file);
            }
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    return option;
}

}  // namespace velmora
