#include "cli/upgrade_progress.h"

#include <algorithm>
#include <cstdio>

namespace velmora::cli {

std::string minutesSeconds(std::int64_t ms) {
    if (ms < 0) ms = 0;
    const std::int64_t seconds = (ms + 999) / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return buf;
}

std::string formatProgress(const UpgradeProgress& p, int width) {
    const int percent = std::clamp(p.percent, 0, 100);
    const int filled = width * percent / 100;
    std::string out = "[";
    out.append(static_cast<std::size_t>(filled), '#');
    out.append(static_cast<std::size_t>(width - filled), '.');
    char buf[96];
    std::snprintf(buf, sizeof buf, "] %3d%%  %lld/%lld bytes  ", percent, static_cast<long long>(p.sent),
                  static_cast<long long>(p.total));
    out += buf;
    if (p.sent <= 0 || p.total <= 0) {
        out += "--:-- left";
    } else {
        const std::int64_t remaining = std::max<std::int64_t>(p.total - p.sent, 0);
        out += minutesSeconds(p.elapsedMs * remaining / p.sent) + " left";
    }
    return out;
}

ConsoleUpgradeView::ConsoleUpgradeView(std::ostream& err, bool terminal, std::function<std::int64_t()> monotonicMs,
                                       std::function<std::pair<std::int64_t, std::int64_t>()> counts)
    : err_(err), terminal_(terminal), now_(std::move(monotonicMs)), counts_(std::move(counts)) {}

void ConsoleUpgradeView::showDialog() {
    if (shown_) return;
    shown_ = true;
    startMs_ = now_();
    lastTenth_ = -1;
    err_ << "Upgrade Process: the unit asked for the image\n";
    err_.flush();
}

void ConsoleUpgradeView::endBar() {
    if (barDrawn_) err_ << "\n";
    barDrawn_ = false;
    lastBar_.clear();
}

void ConsoleUpgradeView::closeDialog() {
    if (!shown_) return;
    shown_ = false;
    endBar();
    err_.flush();
}

void ConsoleUpgradeView::setProgress(int percent) {
    UpgradeProgress p;
    p.percent = percent;
    const auto [sent, total] = counts_ ? counts_() : std::pair<std::int64_t, std::int64_t>{0, 0};
    p.sent = sent;
    p.total = total;
    p.elapsedMs = now_() - startMs_;
    if (terminal_) {
        std::string bar = formatProgress(p, 30);
        if (bar == lastBar_) return;
        lastBar_ = bar;
        err_ << "\r" << bar;
        barDrawn_ = true;
    } else {
        // A log gets a line per tenth, not per byte.
        const int tenth = std::clamp(percent, 0, 100) / 10;
        if (tenth == lastTenth_) return;
        lastTenth_ = tenth;
        err_ << formatProgress(p, 30) << "\n";
    }
    err_.flush();
}

void ConsoleUpgradeView::appendMessage(std::string_view line) {
    if (terminal_ && barDrawn_) err_ << "\r\x1b[K";
    // The unit's text is 8-bit and may hold control bytes: keep the
    // terminal out of their reach.
    std::string shown;
    for (char c : line) shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '.' : c;
    err_ << "unit: " << shown << "\n";
    if (terminal_ && barDrawn_) err_ << lastBar_;
    err_.flush();
}

}  // namespace velmora::cli
