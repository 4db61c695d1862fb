#include "sim/loader.h"

namespace velmora::sim {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr char kMarks[] = {'|', '/', '-', '\\'};

// "1204" -> "1.2.04", the way the loader announces the new firmware.
std::string dottedVersion(const std::string& v) {
    if (v.size() != 4) return v;
    return std::string(1, v[0]) + "." + v[1] + "." + v.substr(2);
}

}  // namespace

Loader::Loader(const UnitConfig& config)
    : upgradedVersion_(config.upgradedVersion),
      imageLength_(config.imageLength > 0 ? config.imageLength : 0),
      quietGapMs_(config.quietGapMs > 0 ? config.quietGapMs : 1),
      bannerEvery_(config.bannerEvery > 0 ? config.bannerEvery : 0),
      stallResetMs_(config.stallResetMs > 0 ? config.stallResetMs : 1),
      completion_(config.completion),
      failuresLeft_(config.faults.upgradeFailures),
      stallAfter_(config.faults.stallAfterBytes) {}

std::string Loader::prompt(bool withChatter, std::int64_t nowMs) {
    std::string out;
    if (withChatter) {
        out += "Firmware upgrade mode entered";
        out += kCrLf;
        out += "Start to upgrade firmware";
        out += kCrLf;
    }
    out += "Please send the file";
    out += kCrLf;
    phase_ = UpgradePhase::awaitingImage;
    received_ = 0;
    lastMs_ = nowMs;
    return out;
}

LoaderEvent Loader::takeByte(std::uint8_t, std::int64_t nowMs, std::string& out) {
    lastMs_ = nowMs;
    if (phase_ == UpgradePhase::stalled || phase_ == UpgradePhase::idle) return LoaderEvent::none;
    if (stallAfter_ >= 0 && received_ >= stallAfter_) {
        // The stall fault is spent once it has struck.
        stallAfter_ = -1;
        phase_ = UpgradePhase::stalled;
        return LoaderEvent::none;
    }
    phase_ = UpgradePhase::receiving;
    out += kMarks[received_ % 4];
    out += kBackspace;
    ++received_;
    if (bannerEvery_ > 0 && received_ % bannerEvery_ == 0) {
        long block = received_ / bannerEvery_;
        switch ((block - 1) % 3) {
        case 0:
            out += "Velmora Boot Loader";
            break;
        case 1:
            out += std::string("Serial received ") + std::to_string(received_) + " bytes";
            break;
        default:
            out += std::string("CPU flash block ") + std::to_string(block);
            break;
        }
        out += kCrLf;
    }
    if (imageLength_ > 0 && received_ >= imageLength_) return finish(out);
    return LoaderEvent::none;
}

LoaderEvent Loader::advance(std::int64_t nowMs, std::string& out) {
    const std::int64_t quiet = nowMs - lastMs_;
    switch (phase_) {
    case UpgradePhase::idle:
        return LoaderEvent::none;
    case UpgradePhase::receiving:
        if (imageLength_ == 0) return quiet >= quietGapMs_ ? finish(out) : LoaderEvent::none;
        if (quiet < stallResetMs_) return LoaderEvent::none;
        // The PC went away in the middle of the image: the flash holds half
        // of it. This is no failure on request, so none is used up.
        phase_ = UpgradePhase::idle;
        lastMs_ = nowMs;
        out += "Fail";
        out += kCrLf;
        return LoaderEvent::failed;
    case UpgradePhase::awaitingImage:
        if (quiet < stallResetMs_) return LoaderEvent::none;
        phase_ = UpgradePhase::idle;
        lastMs_ = nowMs;
        return LoaderEvent::gaveUp;
    case UpgradePhase::stalled:
        if (quiet < stallResetMs_) return LoaderEvent::none;
        phase_ = UpgradePhase::idle;
        lastMs_ = nowMs;
        return LoaderEvent::stallReset;
    }
    return LoaderEvent::none;
}

LoaderEvent Loader::finish(std::string& out) {
    phase_ = UpgradePhase::idle;
    if (failuresLeft_ != 0) {
        if (failuresLeft_ > 0) --failuresLeft_;
        out += "Fail";
        out += kCrLf;
        return LoaderEvent::failed;
    }
    if (completion_ == CompletionStyle::versionLine) {
        out += std::string("Version ") + dottedVersion(upgradedVersion_) + " firmware ready";
        out += kCrLf;
    } else {
        // The one-word "OK" after the completion line takes the PC out of
        // upgrade text mode, so the framed lines that follow are read again.
        out += "Upgrade OK";
        out += kCrLf;
        out += "OK";
        out += kCrLf;
    }
    return LoaderEvent::completed;
}

}  // namespace velmora::sim
