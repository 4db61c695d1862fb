#pragma once

// The firmware upgrade's progress for a terminal: a bar with percentage,
// bytes and time left, redrawn in place on a terminal and written as plain
// lines (one per tenth of the image) otherwise.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "maintenance/firmware_upgrade.h"

namespace velmora::cli {

struct UpgradeProgress {
    int percent = 0;            // 0..100, as the window's bar shows it
    std::int64_t sent = 0;      // image bytes written so far
    std::int64_t total = 0;     // bytes the upgrade writes in all
    std::int64_t elapsedMs = 0; // since the unit's prompt
};

// "[##########..........]  50%  4097/8194 bytes  0:42 left"; time left is
// "--:--" until a byte has gone; `width` is the bar's inside.
std::string formatProgress(const UpgradeProgress& p, int width);
// Milliseconds as "m:ss" (minutes may exceed 59).
std::string minutesSeconds(std::int64_t ms);

class ConsoleUpgradeView final : public UpgradeView {
public:
    // `counts` gives the bytes sent and the bytes to send (from the
    // upgrade's UpgradeIndex and FirmwareLength).
    ConsoleUpgradeView(std::ostream& err, bool terminal, std::function<std::int64_t()> monotonicMs,
                       std::function<std::pair<std::int64_t, std::int64_t>()> counts);

    void showDialog() override;
    void closeDialog() override;
    void pressCancel() override { closeDialog(); }
    void setProgress(int percent) override;
    void appendMessage(std::string_view line) override;
    void clearMessages() override {}

private:
    void endBar();

    std::ostream& err_;
    bool terminal_;
    std::function<std::int64_t()> now_;
    std::function<std::pair<std::int64_t, std::int64_t>()> counts_;
    std::int64_t startMs_ = 0;
    bool shown_ = false;
    bool barDrawn_ = false;
    int lastTenth_ = -1;
    std::string lastBar_;
};

}  // namespace velmora::cli
