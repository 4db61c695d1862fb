// The program's own link code (probe, link open, reader thread, disconnect)
// on the Win32 serial back end, cross-built with MinGW-w64 and run under
// Wine by scripts/test-win32:
//
//   link_win32_check.exe UNIT_COM OTHER_COM
//
// UNIT_COM is mapped to the simulated unit (two banks, versions 1203),
// OTHER_COM to a port where something answers that is not the unit (the
// echo peer). Prints one line per check and, last, exactly
// "N passed, N failed"; exit code 0 only when nothing failed. Waits on real
// I/O are bounded by generous time-outs; no check is about speed.

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/link_doubles.h"
#include "link/device_state.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/queue_dispatcher.h"
#include "platform/serial_device.h"
#include "schedule/timer_tables.h"
#include "tests/win32/check_results.h"

namespace velmora {
namespace {

constexpr int kBoundMs = 15000;

CheckResults results;

using RecordingUi = test::RecordingLinkEvents;
using test::ListReport;

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += "[" + l + "]";
    return out;
}

std::string comDevice(int n) { return "\\\\.\\COM" + std::to_string(n); }

struct Fixture {
    DeviceState state;
    TimerTables tables;
    QueueDispatcher dispatcher;
    FixedClock clock;
    RecordingUi ui;
    ScriptedDialogs dialogs;
    SerialLink link;

    explicit Fixture(std::vector<std::string> devices)
        : link(SerialLink::Deps{state, tables, dispatcher, clock, ui, dialogs,
                                [] { return makeSerialDevice(); }, [] { return LinkOptions{}; },
                                [](int ms) { Sleep(static_cast<DWORD>(ms)); }}) {
        link.setPortDevices(std::move(devices));
    }
    ~Fixture() {
        dispatcher.shutdown();
        link.shutdown();
    }
    bool drainUntil(const std::function<bool()>& pred) { return dispatcher.drainUntil(pred, kBoundMs); }
};

void checkProbes(int unitCom, int otherCom) {
    Fixture f({"", comDevice(unitCom), comDevice(otherCom), comDevice(200)});
    struct Row {
        const char* meaning;
        int index;
        int want;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"the unit answers", 1, 1, {kReportOpenPass, kReportSetupPass, kReportDetectPass, kReportClosePass}},
        {"something else answers", 2, 0, {kReportOpenPass, kReportSetupPass, kReportDetectFail, kReportClosePass}},
        {"no such port", 3, 0, {kReportOpenFail}},
    };
    for (const Row& r : rows) {
        ListReport report;
        const int got = f.link.ProbePort(r.index, report);
        results.check(got == r.want, std::string("probe, ") + r.meaning + ": result",
                      "got " + std::to_string(got) + ", want " + std::to_string(r.want));
        results.check(report.lines == r.lines, std::string("probe, ") + r.meaning + ": report lines",
                      joined(report.lines));
        results.check(!f.link.isOpen(), std::string("probe, ") + r.meaning + ": leaves no link open");
    }
    for (int bank : {1, 2}) {
        const std::string version(f.state.bankSnapshot(bank).versionText());
        results.check(version == "1203", "probe stored the version of bank " + std::to_string(bank),
                      "got \"" + version + "\"");
    }
}

void checkLink(int unitCom) {
    Fixture f({"", comDevice(unitCom)});
    f.link.OpenLink(1);
    results.check(f.link.isOpen(), "link open");
    // The reader thread turns the unit's "xyz" into the start of polling.
    results.check(f.drainUntil([&] { return f.ui.polling == 1; }), "greeting answer starts polling");
    results.check(f.drainUntil([&] { return f.ui.kinds.size() >= 2; }), "version answers reach the window");
    if (f.ui.kinds.size() >= 2)
        results.check(f.ui.kinds[0] == ukVersion && f.ui.kinds[1] == ukVersion,
                      "the first two view updates are versions");

    const std::size_t before = f.ui.kinds.size();
    f.link.write("/C\\");
    results.check(f.drainUntil([&] { return f.state.BankCount.load() == 2; }),
                  "a poll's answer reports two banks", "BankCount " + std::to_string(f.state.BankCount.load()));
    bool sawBankCount = false;
    for (std::size_t i = before; i < f.ui.kinds.size(); ++i) sawBankCount = sawBankCount || f.ui.kinds[i] == ukBankCount;
    results.check(sawBankCount, "a poll's answer raises a bank-count view update");

    // Disconnect never waits for the reader; closing the port ends its wait
    // and it finishes by itself.
    f.link.Disconnect();
    results.check(!f.link.isOpen(), "disconnected");
    results.check(f.drainUntil([&] {
                      f.link.reapReaders();
                      return f.link.readerCount() == 0;
                  }),
                  "the reader ends after the disconnect");

    // And the port opens again.
    f.link.OpenLink(1);
    results.check(f.link.isOpen(), "link open again");
    results.check(f.drainUntil([&] { return f.ui.polling == 2; }), "greeting answered again");
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    using namespace velmora;
    if (argc != 3) {
        std::printf("usage: link_win32_check UNIT_COM OTHER_COM\n");
        return 2;
    }
    const int unitCom = std::atoi(argv[1]);
    const int otherCom = std::atoi(argv[2]);
    if (unitCom <= 1 || otherCom <= 1 || unitCom == otherCom) {
        // COM1 is the machine's console under Wine: never touched.
        std::printf("need two different COM numbers above 1\n");
        return 2;
    }
    checkProbes(unitCom, otherCom);
    checkLink(unitCom);
    results.finish();
}
