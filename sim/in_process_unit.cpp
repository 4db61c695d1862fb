#include "sim/in_process_unit.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace velmora::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;
// A reader waiting for input looks at the unit's time this often, so that
// what the unit says by itself (timers, loader prompts) reaches it.
constexpr auto kTick = std::chrono::milliseconds(20);
// What the unit keeps for a reader that does not read: far more than any
// answer, so that only a stuck reader loses bytes.
constexpr std::size_t kReceiveQueueLimit = 1 << 20;

}  // namespace

struct InProcessUnit::Core {
    Core(UnitConfig config, std::function<std::int64_t()> clock) : model(std::move(config)), monotonicMs(std::move(clock)) {
        if (!monotonicMs) {
            const auto start = SteadyClock::now();
            monotonicMs = [start] {
                return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
            };
        }
        lastMs = monotonicMs();
    }

    // Everything below is guarded by `mutex`.
    std::mutex mutex;
    std::condition_variable changed;
    UnitModel model;
    std::function<std::int64_t()> monotonicMs;
    std::int64_t lastMs = 0;
    std::vector<std::uint8_t> received;  // every byte written to the unit
    std::string toReader;                // the unit's answers not yet read
    const void* holder = nullptr;        // the device that has the unit open
    bool stopped = false;

    // Lets the unit's time catch up; what it says goes to the holder, or is
    // lost when nobody has the unit open (an unplugged cable).
    void catchUp() {
        const std::int64_t now = monotonicMs();
        if (now > lastMs) {
            deliver(model.advance(now - lastMs));
            lastMs = now;
        }
    }
    void deliver(const std::string& bytes) {
        if (bytes.empty() || !holder || stopped) return;
        if (toReader.size() + bytes.size() > kReceiveQueueLimit) return;  // an overrun, as a full UART has
        toReader += bytes;
        changed.notify_all();
    }
    bool gone() const { return stopped || model.hangUpRequested(); }
};

namespace {

// One handle on the unit, or on a real port when opened under another name.
class InProcessDevice final : public SerialDevice {
public:
    InProcessDevice(std::shared_ptr<InProcessUnit::Core> core, std::function<std::unique_ptr<SerialDevice>()> other)
        : core_(std::move(core)), other_(std::move(other)) {}
    ~InProcessDevice() override { close(); }

    SerialStatus open(const std::string& device, SerialMode mode) override {
        close();
        real_.reset();
        if (device != InProcessUnit::kDeviceName) {
            if (!other_) return SerialStatus::notFound;
            real_ = other_();
            if (!real_) return SerialStatus::notFound;
            const SerialStatus s = real_->open(device, mode);
            if (s != SerialStatus::ok) real_.reset();
            return s;
        }
        std::lock_guard lock(core_->mutex);
        if (core_->stopped) return SerialStatus::notFound;
        if (core_->holder) return SerialStatus::busy;
        core_->catchUp();  // what the unit said meanwhile is lost
        core_->holder = this;
        core_->toReader.clear();
        mode_ = mode;
        open_ = true;
        wakePending_ = false;
        return SerialStatus::ok;
    }
    bool isOpen() const override {
        if (real_) return real_->isOpen();
        std::lock_guard lock(core_->mutex);
        return open_;
    }
    SerialStatus getState(SerialLineSettings& out) override {
        if (real_) return real_->getState(out);
        std::lock_guard lock(core_->mutex);
        const SerialStatus s = step();
        if (s == SerialStatus::ok) out = settings_;
        return s;
    }
    SerialStatus setState(const SerialLineSettings& settings) override {
        if (real_) return real_->setState(settings);
        std::lock_guard lock(core_->mutex);
        const SerialStatus s = step();
        if (s == SerialStatus::ok) settings_ = settings;
        return s;
    }
    SerialStatus setQueueSizes(std::size_t input, std::size_t output) override {
        if (real_) return real_->setQueueSizes(input, output);
        std::lock_guard lock(core_->mutex);
        return step();
    }
    SerialStatus setTimeouts(const SerialTimeouts& timeouts) override {
        if (real_) return real_->setTimeouts(timeouts);
        std::lock_guard lock(core_->mutex);
        const SerialStatus s = step();
        if (s == SerialStatus::ok) timeouts_ = timeouts;
        return s;
    }
    SerialStatus purge() override { return purgeReceive(); }  // writes reach the unit at once
    SerialStatus purgeReceive() override {
        if (real_) return real_->purgeReceive();
        std::lock_guard lock(core_->mutex);
        const SerialStatus s = step();
        if (s == SerialStatus::ok) core_->toReader.clear();
        return s;
    }

    SerialStatus waitForInput() override {
        if (real_) return real_->waitForInput();
        std::unique_lock lock(core_->mutex);
        if (!open_) return SerialStatus::notOpen;
        for (;;) {
            if (!open_) return SerialStatus::woken;  // closed from another thread
            core_->catchUp();
            // Bytes that came before a hang-up are handed out first.
            if (!core_->toReader.empty()) return SerialStatus::ok;
            if (core_->gone()) return SerialStatus::deviceGone;
            if (wakePending_) {
                wakePending_ = false;
                return SerialStatus::woken;
            }
            core_->changed.wait_for(lock, kTick);
        }
    }
    std::size_t bytesWaiting() override {
        if (real_) return real_->bytesWaiting();
        std::lock_guard lock(core_->mutex);
        if (!open_) return 0;
        core_->catchUp();
        return core_->toReader.size();
    }

    SerialIo read(std::uint8_t* buffer, std::size_t size) override {
        if (real_) return real_->read(buffer, size);
        std::unique_lock lock(core_->mutex);
        if (!open_) return {SerialStatus::notOpen, 0};
        core_->catchUp();
        if (mode_ == SerialMode::link || size == 0) return take(buffer, size);
        // Probe mode: bounded by the read time-outs, as a port is.
        const SerialTimeouts t = timeouts_;
        const bool returnAtOnce = t.readInterval == std::numeric_limits<std::uint32_t>::max() &&
                                  t.readTotalConstant == 0 && t.readTotalMultiplier == 0;
        if (returnAtOnce) return take(buffer, size);
        const bool totalLimit = t.readTotalConstant != 0 || t.readTotalMultiplier != 0;
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(std::uint64_t{t.readTotalConstant} +
                                                                              std::uint64_t{t.readTotalMultiplier} * size);
        std::size_t got = 0;
        auto lastByte = SteadyClock::time_point{};
        for (;;) {
            if (!core_->toReader.empty()) {
                const std::size_t n = std::min(size - got, core_->toReader.size());
                std::copy_n(core_->toReader.begin(), n, buffer + got);
                core_->toReader.erase(0, n);
                got += n;
                lastByte = SteadyClock::now();
                if (got == size) return {SerialStatus::ok, got};
            }
            if (core_->gone()) return {SerialStatus::deviceGone, got};
            if (!open_) return {SerialStatus::woken, got};
            auto until = SteadyClock::now() + kTick;
            if (totalLimit) until = std::min(until, deadline);
            if (t.readInterval != 0 && got > 0) until = std::min(until, lastByte + std::chrono::milliseconds(t.readInterval));
            const auto now = SteadyClock::now();
            if ((totalLimit && now >= deadline) ||
                (t.readInterval != 0 && got > 0 && now >= lastByte + std::chrono::milliseconds(t.readInterval)))
                return {SerialStatus::timeout, got};
            core_->changed.wait_until(lock, until);
            core_->catchUp();
        }
    }

    SerialIo write(const std::uint8_t* data, std::size_t size) override {
        if (real_) return real_->write(data, size);
        std::lock_guard lock(core_->mutex);
        const SerialStatus s = step();
        if (s != SerialStatus::ok) return {s, 0};
        core_->received.insert(core_->received.end(), data, data + size);
        core_->deliver(core_->model.feed(data, size));
        core_->changed.notify_all();
        return {SerialStatus::ok, size};
    }

    void wake() override {
        if (real_) return real_->wake();
        std::lock_guard lock(core_->mutex);
        wakePending_ = true;
        core_->changed.notify_all();
    }
    void close() override {
        // A real port is closed but kept: a reader may still be inside it.
        if (real_) return real_->close();
        std::lock_guard lock(core_->mutex);
        if (!open_) return;
        open_ = false;
        if (core_->holder == this) core_->holder = nullptr;
        core_->toReader.clear();
        core_->changed.notify_all();
    }

private:
    // The state every setup step needs; the caller holds the lock.
    SerialStatus step() {
        if (!open_) return SerialStatus::notOpen;
        core_->catchUp();
        return core_->gone() ? SerialStatus::deviceGone : SerialStatus::ok;
    }
    // Link-mode read: what is waiting, up to `size`; the caller holds the lock.
    SerialIo take(std::uint8_t* buffer, std::size_t size) {
        const std::size_t n = std::min(size, core_->toReader.size());
        std::copy_n(core_->toReader.begin(), n, buffer);
        core_->toReader.erase(0, n);
        if (n == 0 && core_->gone()) return {SerialStatus::deviceGone, 0};
        return {SerialStatus::ok, n};
    }

    std::shared_ptr<InProcessUnit::Core> core_;
    std::function<std::unique_ptr<SerialDevice>()> other_;
    std::unique_ptr<SerialDevice> real_;  // while a real port is open through this device
    // Guarded by core_->mutex.
    bool open_ = false;
    bool wakePending_ = false;
    SerialMode mode_ = SerialMode::link;
    SerialLineSettings settings_;
    SerialTimeouts timeouts_;
};

}  // namespace

InProcessUnit::InProcessUnit(UnitConfig config, std::function<std::int64_t()> monotonicMs)
    : core_(std::make_shared<Core>(std::move(config), std::move(monotonicMs))) {}

InProcessUnit::~InProcessUnit() { stop(); }

std::unique_ptr<SerialDevice> InProcessUnit::makeDevice(std::function<std::unique_ptr<SerialDevice>()> other) {
    return std::make_unique<InProcessDevice>(core_, std::move(other));
}

void InProcessUnit::stop() {
    std::lock_guard lock(core_->mutex);
    core_->stopped = true;
    core_->changed.notify_all();
}

std::vector<std::string> InProcessUnit::portStates() const {
    std::lock_guard lock(core_->mutex);
    std::vector<std::string> states;
    for (int b = 1; b <= core_->model.bankCount(); ++b) states.push_back(core_->model.portStates(b));
    return states;
}

std::vector<std::string> InProcessUnit::commands() const {
    std::lock_guard lock(core_->mutex);
    return core_->model.commands();
}

std::vector<std::uint8_t> InProcessUnit::received() const {
    std::lock_guard lock(core_->mutex);
    return core_->received;
}

bool InProcessUnit::isOpen() const {
    std::lock_guard lock(core_->mutex);
    return core_->holder != nullptr;
}

void InProcessUnit::withModel(const std::function<void(UnitModel&)>& f) {
    std::lock_guard lock(core_->mutex);
    f(core_->model);
}

}  // namespace velmora::sim
