#include "link/reader_thread.h"

#include "link/device_state.h"
#include "link/line_assembler.h"
#include "link/line_processor.h"
#include "link/link_events.h"
#include "platform/clock.h"
#include "platform/serial_device.h"
#include "platform/ui_dispatcher.h"
#include "schedule/timer_tables.h"

#include <array>

namespace velmora {

ReaderThread::ReaderThread(std::shared_ptr<SerialDevice> port, DeviceState& state, TimerTables& tables,
                     UiDispatcher& dispatcher, const Clock& clock, LinkEvents& events)
    : port_(std::move(port)),
      state_(state),
      tables_(tables),
      dispatcher_(dispatcher),
      clock_(clock),
      events_(events),
      stop_(std::make_shared<std::atomic<bool>>(false)) {}

ReaderThread::~ReaderThread() { join(); }

void ReaderThread::start() { thread_ = std::thread([this] { Execute(); }); }

void ReaderThread::Terminate() {
    std::lock_guard lock(storing_);
    stop_->store(true);
}

void ReaderThread::join() {
    if (thread_.joinable()) thread_.join();
}

bool ReaderThread::viewUpdate(int kind) {
    if (stop_->load()) return false;
    auto stop = stop_;
    LinkEvents* events = &events_;
    // The stop test is repeated on the UI thread: a Disconnect that ran
    // between our test and the hand-over must not see a stale update.
    return dispatcher_.runAndWait([stop, events, kind] {
        if (!stop->load()) events->reportStored(kind);
    }) && !stop_->load();
}

void ReaderThread::processByte(unsigned char byte, LineAssembler& assembler) {
    // The mode is read again for every byte: a line that switches it takes
    // effect from the next byte on.
    if (!assembler.feed(byte, state_.RawLineMode.load())) return;
    const LocalMoment now = clock_.now();
    LineOutcome outcome;
    {
        std::lock_guard lock(storing_);
        if (stop_->load()) return;
        outcome = processLine(assembler.line(), state_, tables_, now);
    }
    if (outcome.scheduleBank >= 0) {
        confirmation(outcome);
        return;
    }
    for (int i = 0; i < outcome.updateCount; ++i) {
        if (!viewUpdate(outcome.updates[static_cast<std::size_t>(i)])) return;
    }
    if (outcome.greeting) {
        auto stop = stop_;
        LinkEvents* events = &events_;
        dispatcher_.post([stop, events] {
            if (!stop->load()) events->greeted();
        });
    }
}

void ReaderThread::confirmation(const LineOutcome& outcome) {
    // A "Q" or "E" confirmation: the next command of the transfer (when one
    // waits) and the refresh of the Set Timer dialog's shown bank in one
    // hand-over, so the reader is free again as soon as the next command is
    // out.
    if (stop_->load()) return;
    auto stop = stop_;
    LinkEvents* events = &events_;
    const LineOutcome o = outcome;
    dispatcher_.runAndWait([stop, events, o] {
        for (int i = 0; i < o.updateCount; ++i) {
            if (stop->load()) return;
            events->reportStored(o.updates[static_cast<std::size_t>(i)]);
        }
        if (stop->load() || !events->scheduleShown(o.scheduleBank)) return;
        events->reportStored(ukScheduleRefresh);
    });
}

void ReaderThread::Execute() {
    LineAssembler assembler;
    std::array<unsigned char, 1024> buffer{};
    while (port_ && !stop_->load()) {
        const SerialStatus waited = port_->waitForInput();
        if (waited == SerialStatus::woken) continue;
        // A hang-up, a closed port or a broken handle will not get better:
        // leave instead of spinning. The watchdog reports the lost unit.
        if (waited != SerialStatus::ok) break;
        std::size_t waiting = port_->bytesWaiting();
        while (waiting > 0 && !stop_->load()) {
            const SerialIo got = port_->read(buffer.data(), std::min(waiting, buffer.size()));
            if (got.bytes == 0) break;
            // A purge from here on (the upgrade's prompt) also drops what
            // this read brought in behind the line that asked for it.
            const std::uint64_t purges = purges_.load();
            std::size_t i = 0;
            for (; i < got.bytes && !stop_->load(); ++i) {
                processByte(buffer[i], assembler);
                if (purges_.load() != purges) break;
            }
            if (i < got.bytes && purges_.load() != purges) {
                assembler.reset();
                waiting = 0;  // what the port held went with the purge
                break;
            }
            waiting = got.bytes < waiting ? waiting - got.bytes : 0;
        }
    }
    finished_.store(true);
}

}  // namespace velmora
