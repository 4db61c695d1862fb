// The flash tick and a scroll read bank records and timer entries that the
// reader thread writes at the same time. They must read whole records and
// entries (checked for data races under ThreadSanitizer) and always draw
// something well formed.

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <string>
#include <thread>

#include "support/window_rig.h"

namespace velmora::test {
namespace {

// "" or "%2d:%2d" with hours up to three digits.
bool wellFormedTimeLabel(const std::string& text) {
    if (text.empty()) return true;
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2 || colon > 3 || text.size() != colon + 3) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == colon) continue;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isdigit(c) && c != ' ') return false;
    }
    return text[colon - 1] != ' ' && text[colon + 2] != ' ';
}

TEST(ReaderAlongside, TicksAndScrollsDrawWholeValuesWhileReportsArrive) {
    WindowRig rig;
    rig.reportBankCount(5);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        const LocalMoment now = tuesdayTen();
        for (int i = 0; !stop.load(); ++i) {
            const int bank = 1 + i % 5;
            rig.state.editBank(bank, [i](BankRecord& r) {
                copyField(r.portStates, i % 2 ? "OOOOOOOO" : "CCCCCCCC");
                copyField(r.timerFlags, i % 3 ? "GGGGGGGG" : "FFFFFFFF");
                r.current = static_cast<float>(i % 1000) / 10.0f;
            });
            rig.tables.RecordReport(i % 2 ? 'D' : 'W', bank, 1 + i % 8, i % 2, i % 200, i % 60, i % 60, now);
        }
    });
    for (int i = 0; i < 600; ++i) {
        rig.logic.flashTick();
        if (i % 20 == 0) rig.logic.scrollBarMoved(1 + (i / 20) % 3);
        for (int slot = 1; slot <= 3; ++slot) {
            for (int port = 1; port <= 8; ++port) {
                const ComponentId label = timeLabelId(slot * 10 + port);
                ASSERT_TRUE(wellFormedTimeLabel(rig.view.text(label))) << label << " '" << rig.view.text(label) << "'";
            }
            ASSERT_LT(rig.view.pictureIndex(currentDigitId(slot, 1)), 20);
        }
    }
    stop = true;
    reader.join();
}

}  // namespace
}  // namespace velmora::test
