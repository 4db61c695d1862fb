#include "support/fake_serial.h"

#include <algorithm>
#include <utility>

namespace velmora {

const char* serialCallName(SerialCall call) {
    switch (call) {
        case SerialCall::open: return "open";
        case SerialCall::getState: return "getState";
        case SerialCall::setState: return "setState";
        case SerialCall::setQueueSizes: return "setQueueSizes";
        case SerialCall::setTimeouts: return "setTimeouts";
        case SerialCall::purge: return "purge";
        case SerialCall::purgeReceive: return "purgeReceive";
        case SerialCall::waitForInput: return "waitForInput";
        case SerialCall::bytesWaiting: return "bytesWaiting";
        case SerialCall::read: return "read";
        case SerialCall::write: return "write";
        case SerialCall::wake: return "wake";
        case SerialCall::close: return "close";
    }
    return "unknown";
}

ScriptedSerialDevice::ScriptedSerialDevice() = default;
ScriptedSerialDevice::~ScriptedSerialDevice() = default;

// ---- scripting ----

void ScriptedSerialDevice::setResult(SerialCall call, SerialStatus status) {
    std::lock_guard lock(mutex_);
    if (status == SerialStatus::ok)
        fixed_.erase(call);
    else
        fixed_[call] = status;
}

void ScriptedSerialDevice::pushResult(SerialCall call, SerialStatus status) {
    std::lock_guard lock(mutex_);
    pushed_[call].push_back(status);
}

void ScriptedSerialDevice::setOpenResult(const std::string& device, SerialStatus status) {
    std::lock_guard lock(mutex_);
    openResults_[device] = status;
}

void ScriptedSerialDevice::setLineSettings(const SerialLineSettings& settings) {
    std::lock_guard lock(mutex_);
    state_ = settings;
}

void ScriptedSerialDevice::queueInput(std::string_view bytes) {
    queueInput(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void ScriptedSerialDevice::queueInput(const std::vector<std::uint8_t>& bytes) {
    {
        std::lock_guard lock(mutex_);
        queueLocked(bytes);
    }
    changed_.notify_all();
}

void ScriptedSerialDevice::queueLocked(std::vector<std::uint8_t> bytes) {
    if (!bytes.empty()) input_.push_back(std::move(bytes));
}

void ScriptedSerialDevice::answerWrites(std::string trigger, std::string reply) {
    std::lock_guard lock(mutex_);
    if (!trigger.empty()) answers_.push_back({std::move(trigger), std::move(reply)});
}

void ScriptedSerialDevice::setWriteHandler(std::function<void(const std::vector<std::uint8_t>&)> handler) {
    std::lock_guard lock(mutex_);
    writeHandler_ = std::move(handler);
}

void ScriptedSerialDevice::hangUp() {
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
    }
    changed_.notify_all();
}

void ScriptedSerialDevice::setBlockingWaits(bool blocking) {
    {
        std::lock_guard lock(mutex_);
        blockingWaits_ = blocking;
    }
    changed_.notify_all();
}

// ---- record ----

std::vector<ScriptedSerialDevice::CallRecord> ScriptedSerialDevice::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> ScriptedSerialDevice::callNames() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& c : calls_) names.emplace_back(serialCallName(c.call));
    return names;
}

int ScriptedSerialDevice::callCount(SerialCall call) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(
        std::count_if(calls_.begin(), calls_.end(), [call](const CallRecord& c) { return c.call == call; }));
}

std::vector<std::vector<std::uint8_t>> ScriptedSerialDevice::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::string ScriptedSerialDevice::writtenText() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& w : writes_) text.append(w.begin(), w.end());
    return text;
}

void ScriptedSerialDevice::clearRecord() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    writes_.clear();
    stream_.clear();
}

std::string ScriptedSerialDevice::openedDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

SerialMode ScriptedSerialDevice::openedMode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

SerialLineSettings ScriptedSerialDevice::appliedSettings() const {
    std::lock_guard lock(mutex_);
    return applied_;
}

SerialTimeouts ScriptedSerialDevice::appliedTimeouts() const {
    std::lock_guard lock(mutex_);
    return timeouts_;
}

std::size_t ScriptedSerialDevice::inputQueueSize() const {
    std::lock_guard lock(mutex_);
    return inputQueue_;
}

std::size_t ScriptedSerialDevice::outputQueueSize() const {
    std::lock_guard lock(mutex_);
    return outputQueue_;
}

std::size_t ScriptedSerialDevice::pendingInput() const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& b : input_) n += b.size();
    return n - headOffset_;
}

bool ScriptedSerialDevice::waitForWaiter(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return waiters_ > 0; });
}

// ---- helpers ----

SerialStatus ScriptedSerialDevice::scripted(SerialCall call) {
    auto p = pushed_.find(call);
    if (p != pushed_.end() && !p->second.empty()) {
        SerialStatus s = p->second.front();
        p->second.pop_front();
        return s;
    }
    auto f = fixed_.find(call);
    return f != fixed_.end() ? f->second : SerialStatus::ok;
}

void ScriptedSerialDevice::record(SerialCall call, std::size_t size, SerialStatus result) {
    calls_.push_back({call, size, result});
}

// ---- SerialDevice ----

SerialStatus ScriptedSerialDevice::open(const std::string& device, SerialMode mode) {
    std::lock_guard lock(mutex_);
    device_ = device;
    mode_ = mode;
    SerialStatus s = scripted(SerialCall::open);
    if (s == SerialStatus::ok) {
        auto r = openResults_.find(device);
        if (r != openResults_.end()) s = r->second;
    }
    if (s == SerialStatus::ok) {
        open_ = true;
        gone_ = false;
        wakePending_ = false;
    }
    record(SerialCall::open, 0, s);
    return s;
}

bool ScriptedSerialDevice::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

SerialStatus ScriptedSerialDevice::getState(SerialLineSettings& out) {
    std::lock_guard lock(mutex_);
    SerialStatus s = open_ ? scripted(SerialCall::getState) : SerialStatus::notOpen;
    if (s == SerialStatus::ok) out = state_;
    record(SerialCall::getState, 0, s);
    return s;
}

SerialStatus ScriptedSerialDevice::setState(const SerialLineSettings& settings) {
    std::lock_guard lock(mutex_);
    applied_ = settings;
    SerialStatus s = open_ ? scripted(SerialCall::setState) : SerialStatus::notOpen;
    if (s == SerialStatus::ok) state_ = settings;
    record(SerialCall::setState, 0, s);
    return s;
}

SerialStatus ScriptedSerialDevice::setQueueSizes(std::size_t input, std::size_t output) {
    std::lock_guard lock(mutex_);
    inputQueue_ = input;
    outputQueue_ = output;
    SerialStatus s = open_ ? scripted(SerialCall::setQueueSizes) : SerialStatus::notOpen;
    record(SerialCall::setQueueSizes, 0, s);
    return s;
}

SerialStatus ScriptedSerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    SerialStatus s = open_ ? scripted(SerialCall::setTimeouts) : SerialStatus::notOpen;
    record(SerialCall::setTimeouts, 0, s);
    return s;
}

SerialStatus ScriptedSerialDevice::purge() {
    std::lock_guard lock(mutex_);
    SerialStatus s = open_ ? scripted(SerialCall::purge) : SerialStatus::notOpen;
    if (s == SerialStatus::ok) {
        input_.clear();
        headOffset_ = 0;
    }
    record(SerialCall::purge, 0, s);
    return s;
}

SerialStatus ScriptedSerialDevice::purgeReceive() {
    std::lock_guard lock(mutex_);
    SerialStatus s = open_ ? scripted(SerialCall::purgeReceive) : SerialStatus::notOpen;
    if (s == SerialStatus::ok) {
        input_.clear();
        headOffset_ = 0;
    }
    record(SerialCall::purgeReceive, 0, s);
    return s;
}

SerialStatus ScriptedSerialDevice::waitForInput() {
    std::unique_lock lock(mutex_);
    SerialStatus s = open_ ? scripted(SerialCall::waitForInput) : SerialStatus::notOpen;
    if (s == SerialStatus::ok) {
        const unsigned long closesAtStart = closeCount_;
        ++waiters_;
        changed_.notify_all();  // for waitForWaiter()
        for (;;) {
            if (closeCount_ != closesAtStart || !open_) {
                s = SerialStatus::woken;
                break;
            }
            if (wakePending_) {
                wakePending_ = false;
                s = SerialStatus::woken;
                break;
            }
            if (!input_.empty()) {
                s = SerialStatus::ok;
                break;
            }
            if (gone_) {
                s = SerialStatus::deviceGone;
                break;
            }
            if (!blockingWaits_) {
                s = SerialStatus::timeout;
                break;
            }
            changed_.wait(lock);
        }
        --waiters_;
    }
    record(SerialCall::waitForInput, 0, s);
    return s;
}

std::size_t ScriptedSerialDevice::bytesWaiting() {
    std::lock_guard lock(mutex_);
    std::size_t n = (open_ && !input_.empty()) ? input_.front().size() - headOffset_ : 0;
    record(SerialCall::bytesWaiting, 0, SerialStatus::ok);
    return n;
}

SerialIo ScriptedSerialDevice::read(std::uint8_t* buffer, std::size_t size) {
    std::lock_guard lock(mutex_);
    SerialIo io{open_ ? scripted(SerialCall::read) : SerialStatus::notOpen, 0};
    if (io.status == SerialStatus::ok && size > 0) {
        if (input_.empty()) {
            if (gone_)
                io.status = SerialStatus::deviceGone;
            else if (mode_ == SerialMode::probe)
                io.status = SerialStatus::timeout;
        } else {
            const auto& head = input_.front();
            io.bytes = std::min(size, head.size() - headOffset_);
            std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(headOffset_), io.bytes, buffer);
            headOffset_ += io.bytes;
            if (headOffset_ == head.size()) {
                input_.pop_front();
                headOffset_ = 0;
            }
            if (mode_ == SerialMode::probe && io.bytes < size) io.status = SerialStatus::timeout;
        }
    }
    record(SerialCall::read, size, io.status);
    return io;
}

SerialIo ScriptedSerialDevice::write(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::function<void(const std::vector<std::uint8_t>&)> handler;
    SerialIo io;
    {
        std::lock_guard lock(mutex_);
        io.status = open_ ? scripted(SerialCall::write) : SerialStatus::notOpen;
        if (io.status == SerialStatus::ok && gone_) io.status = SerialStatus::deviceGone;
        record(SerialCall::write, size, io.status);
        if (io.status != SerialStatus::ok) return io;
        io.bytes = size;
        writes_.push_back(bytes);

        stream_.append(bytes.begin(), bytes.end());
        std::size_t longest = 0;
        for (const auto& a : answers_) {
            longest = std::max(longest, a.trigger.size());
            const std::string& t = a.trigger;
            // The trigger must end inside this write, so an old match is not
            // answered again by an unrelated later write.
            if (size > 0 && stream_.size() >= t.size() &&
                stream_.compare(stream_.size() - t.size(), t.size(), t) == 0)
                queueLocked(std::vector<std::uint8_t>(a.reply.begin(), a.reply.end()));
        }
        if (stream_.size() > longest) stream_.erase(0, stream_.size() - longest);
        handler = writeHandler_;
    }
    changed_.notify_all();
    if (handler) handler(bytes);
    return io;
}

void ScriptedSerialDevice::wake() {
    {
        std::lock_guard lock(mutex_);
        if (open_) wakePending_ = true;
        record(SerialCall::wake, 0, SerialStatus::ok);
    }
    changed_.notify_all();
}

void ScriptedSerialDevice::close() {
    {
        std::lock_guard lock(mutex_);
        open_ = false;
        wakePending_ = false;
        ++closeCount_;
        record(SerialCall::close, 0, SerialStatus::ok);
    }
    changed_.notify_all();
}

namespace {

class SharedScriptedPort final : public SerialDevice {
public:
    explicit SharedScriptedPort(std::shared_ptr<ScriptedSerialDevice> f) : f_(std::move(f)) {}
    SerialStatus open(const std::string& d, SerialMode m) override { return f_->open(d, m); }
    bool isOpen() const override { return f_->isOpen(); }
    SerialStatus getState(SerialLineSettings& s) override { return f_->getState(s); }
    SerialStatus setState(const SerialLineSettings& s) override { return f_->setState(s); }
    SerialStatus setQueueSizes(std::size_t i, std::size_t o) override { return f_->setQueueSizes(i, o); }
    SerialStatus setTimeouts(const SerialTimeouts& t) override { return f_->setTimeouts(t); }
    SerialStatus purge() override { return f_->purge(); }
    SerialStatus purgeReceive() override { return f_->purgeReceive(); }
    SerialStatus waitForInput() override { return f_->waitForInput(); }
    std::size_t bytesWaiting() override { return f_->bytesWaiting(); }
    SerialIo read(std::uint8_t* b, std::size_t n) override { return f_->read(b, n); }
    SerialIo write(const std::uint8_t* b, std::size_t n) override { return f_->write(b, n); }
    void wake() override { f_->wake(); }
    void close() override { f_->close(); }

private:
    std::shared_ptr<ScriptedSerialDevice> f_;
};

}  // namespace

std::unique_ptr<SerialDevice> shareScripted(std::shared_ptr<ScriptedSerialDevice> fake) {
    return std::make_unique<SharedScriptedPort>(std::move(fake));
}

}  // namespace velmora
