#pragma once

// Pieces the benchmarks share: a main-window view that draws nothing,
// dialogs that answer at once, percentiles, and the raw master side of a
// pty for writing the unit's part by hand.

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mainwindow/main_view.h"
#include "platform/dialogs.h"

namespace velmora::bench {

// Draws nothing; counts what a real window would have to draw, so the
// benchmark can check that the tick did the full work.
class NullView final : public MainView {
public:
    void setPicture(ComponentId, PictureList, int index) override { pictures += index >= 0; }
    void setComponentVisible(ComponentId, bool) override {}
    void setLabelText(ComponentId, std::string_view text) override { labelTexts += !text.empty(); }
    void setLabelBackground(ComponentId, std::uint32_t) override {}
    void setLabelVisible(ComponentId, bool) override {}
    void setAccessibleName(ComponentId, std::string_view) override {}
    void setPortButtonOn(ComponentId, bool) override {}
    void setWindowHeight(int) override {}
    void setWindowTop(int) override {}
    void setScrollBarPosition(int) override {}
    void setScrollBarMaximum(int) override {}
    void setScrollBarVisible(bool) override {}
    void appendVersionItem(std::string_view, int) override {}
    void removeLastVersionItem() override {}
    void appendTimerTab(std::string_view) override {}
    void deleteTimerTab(int) override {}
    void selectFirstTimerTab() override {}
    bool timerDialogVisible() const override { return false; }
    int timerDialogBank() const override { return 0; }
    int timerDialogTab() const override { return -1; }
    void cancelTimerDialog() override {}
    void refreshTimerDialog() override {}

    long pictures = 0;
    long labelTexts = 0;  // non-empty texts written
};

class SilentDialogs final : public Dialogs {
public:
    MessageAnswer message(const std::string&, const std::string&, MessageIcon, MessageButtons) override {
        return MessageAnswer::ok;
    }
    std::string openFile(const FileChoice&) override { return {}; }
    std::string saveFile(const FileChoice&) override { return {}; }
};

inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// The master side of a fresh pty, raw, non-blocking; closed on destruction.
class RawPty {
public:
    RawPty() {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) return;
        termios t{};
        if (tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
        if (const char* name = ptsname(fd_)) slave_ = name;
    }
    ~RawPty() {
        if (fd_ >= 0) close(fd_);
    }
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;
    const std::string& slavePath() const { return slave_; }
    // Whole text in one go; false when the pty took less.
    bool write(std::string_view text) {
        return ::write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // Drops what the program wrote, so its output never fills the pty;
    // returns how many bytes that was.
    std::size_t drain() {
        std::size_t total = 0;
        char buf[512];
        for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) total += static_cast<std::size_t>(n);
        return total;
    }

private:
    int fd_ = -1;
    std::string slave_;
};

}  // namespace velmora::bench
