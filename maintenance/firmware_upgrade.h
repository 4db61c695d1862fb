#pragma once

// The firmware upgrade without the widgets: the image read, the pacing of
// its bytes by the unit's progress marks, the completion, the failure
// report and the time-out. It reaches the port, the window's timers and
// the link's teardown only through the functions in Deps and draws through
// UpgradeView, so it runs and is tested without a screen. UI thread only.
//
// The dialogue on the line: "/UPGRADE\" (not sent while the unit has no
// valid firmware), the unit's prompt, the first 20 image bytes at once,
// then exactly one further byte for every progress mark the unit sends,
// up to and including the zero byte behind the 0xFF that ends the image.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velmora {

class DeviceState;
class Dialogs;
class TimerFactory;
class TimerTables;
class WindowTimer;

// Size of FirmwareImage, bytes.
inline constexpr std::size_t kFirmwareImageSize = 65535;
// Largest image file that fits: the last position sent is the file size
// plus one (the zero behind the 0xFF end byte), which must lie in the buffer.
inline constexpr std::int32_t kLargestFirmwareFile = 65533;
// Image bytes written at the prompt, one write each.
inline constexpr int kUpgradeBurstBytes = 20;
// upgradeTimeOutTimer: silence after a progress mark that ends the upgrade.
inline constexpr int kUpgradeTimeOutMs = 10000;
// Pause before the link is closed when the user gives up on a unit without
// firmware, so the message box is gone before the port goes.
inline constexpr int kReloadPauseMs = 100;

// The chooser's filter and the system's texts.
inline constexpr const char* kFirmwareFilter = "x files(*.x)|*.x";
inline constexpr const char* kReloadFirmwareText = "Please re-load Firmware Code";
inline constexpr const char* kReloadFirmwareCaption = "Caution";
inline constexpr const char* kUpgradeCompletedText = "Firmware Upgrade Completed";
inline constexpr const char* kFirmwareFailureText = "Firmware Failure! Please re-upgrade firmware";
inline constexpr const char* kUpgradeTimeoutText = "Upgrade timeout. \rPlease try again.";
// Caption of plain message windows: the application's title.
inline constexpr const char* kApplicationTitle = "Velmora Management";

// Our messages for image files that cannot be sent. Each names the file;
// the reason comes from the file system where there is one.
std::string firmwareUnreadableText(std::string_view path, std::string_view reason);
std::string firmwareTooLargeText(std::string_view path);
std::string firmwareEmptyText(std::string_view path);

// The Upgrade Process dialog (UpgradeDialog) as the upgrade drives it.
class UpgradeView {
public:
    virtual ~UpgradeView() = default;
    // Shows the dialog without making it modal (raised if already shown).
    virtual void showDialog() = 0;
    // Closes the dialog (nothing when it is hidden).
    virtual void closeDialog() = 0;
    // Presses the dialog's hidden cancel button, which closes it.
    virtual void pressCancel() = 0;
    // progressBar's position, 0..100.
    virtual void setProgress(int percent) = 0;
    // Appends one line of the unit's text (8-bit, as received) to messageMemo.
    virtual void appendMessage(std::string_view line) = 0;
    // Removes every line of messageMemo.
    virtual void clearMessages() = 0;
};

// Where an upgrade stands.
enum class UpgradeState {
    idle,            // no upgrade; the dialogue's lines are not expected
    choosingFile,    // the file chooser is open
    awaitingPrompt,  // image read, upgrade command sent (or not needed)
    transferring,    // prompt answered: image bytes follow the unit's marks
};

class FirmwareUpgrade {
public:
    struct Deps {
        DeviceState& state;
        TimerTables& tables;
        Dialogs& dialogs;
        // Makes upgradeTimeOutTimer.
        TimerFactory& timers;
        UpgradeView& view;
        // Writes the bytes in one write call (nothing while the link is closed).
        std::function<void(const std::uint8_t* bytes, std::size_t count)> writeBytes;
        // The greeting "/uni\", one byte per write with 1 ms pauses.
        std::function<void()> writeGreeting;
        // Drops what has been received and not yet read.
        std::function<void()> purgeReceive;
        // Closes the link and resets its state (the link reset calls linkReset()).
        std::function<void()> disconnect;
        // "/VER\" and the restore setting, once per link.
        std::function<void()> sendInfoRequest;
        // tmQuery, tmOpenComError and flashTimer off, and on again.
        std::function<void()> stopWindowTimers;
        std::function<void()> startWindowTimers;
        // Pauses the UI thread.
        std::function<void(int milliseconds)> pause;
        // Performs the Upgrade menu item's action (it runs only while the
        // item is enabled). Optional: empty runs startUpgrade directly.
        std::function<void()> performUpgrade;
        // Holds the port for the upgrade's bytes alone (true) from the
        // upgrade command on, and lets it go (false) at the completion,
        // failure, time-out or link reset. writeBytes must pass the hold.
        std::function<void(bool held)> holdPort;
        // Told of every change of upgradeState() (the window locks its
        // writing controls meanwhile). Optional.
        std::function<void(UpgradeState)> stateChanged;
    };

    explicit FirmwareUpgrade(Deps deps);
    ~FirmwareUpgrade();
    FirmwareUpgrade(const FirmwareUpgrade&) = delete;
    FirmwareUpgrade& operator=(const FirmwareUpgrade&) = delete;

    // The Upgrade menu item. Does nothing while an upgrade is under way
    // (awaiting the prompt or transferring). Otherwise stops the poll,
    // watchdog and flash timers and asks for an image file.
    //  - A file of 1..65533 bytes is read into FirmwareImage (zero-filled
    //    first), followed by 0xFF; FirmwareLength is its size + 1. The port
    //    is held for the upgrade from here on. Unless the unit has no valid
    //    firmware (FirmwareFailed), "/UPGRADE\" is written.
    //    The timers stay stopped; the unit's prompt continues the upgrade.
    //  - Cancelled, or a file that cannot be read, is empty or is too large
    //    (each with its own message, the buffer untouched): with
    //    FirmwareFailed "Please re-load Firmware Code", a 100 ms pause, the
    //    receive purge and Disconnect; otherwise the timers start again.
    void startUpgrade();
    // The same with an image given as bytes rather than chosen as a file (a
    // client's, through the port's owner); `name` stands for it in the
    // messages.
    void upgradeWithImage(std::string_view name, std::string_view bytes);

    // ---- The unit's lines (reportStored, while the reader waits) ----
    // ukUpgradeBegin, the prompt: receive purge, image bytes 0..19 one write
    // each, UpgradeIndex 19, the dialog shown with its bar at 0. Ignored
    // when no image waits for it (no upgrade under way): the loader would
    // take 20 zero bytes for firmware; the line assembler then leaves the
    // raw-line mode the prompt put it in.
    void upgradeBegin();
    // ukUpgradeStep, a progress mark: the next image byte while any is
    // left (positions up to FirmwareLength), the bar at
    // UpgradeIndex * 100 / (FirmwareLength - 1) capped at 100, and the
    // 10 s time-out counted afresh. Ignored outside a transfer.
    void upgradeStep();
    // ukUpgradeMessage: LastLine into messageMemo.
    void upgradeMessage();
    // ukUpgradeDone: LastLine into messageMemo; time-out off; the port's hold
    // and the raw-line mode ended; FirmwareFailed
    // cleared (the new firmware runs); the first BankCount
    // banks' timer entries cleared in all four tables and their version
    // texts "Wait a minute"; the greeting; "Firmware Upgrade Completed";
    // the dialog closed; "/VER\"; messageMemo emptied; the information request,
    // then InfoRequestSent and PollCount cleared so the sixth poll asks
    // again. Ignored when no upgrade is under way.
    void upgradeDone();
    // ukUpgradeFailed ("Fail", "abc"): time-out off, "Firmware Failure!
    // Please re-upgrade firmware", then the Upgrade item's action.
    void upgradeFailed();

    // upgradeTimeOutTimer ran out: "Upgrade timeout. \rPlease try again.", the
    // dialog closed through its cancel button, Disconnect.
    void upgradeTimedOut();

    // The link reset: time-out off, no upgrade under way, the dialog closed.
    void linkReset();

    // ---- State (tests, the window) ----
    UpgradeState upgradeState() const { return state_; }
    std::int32_t FirmwareLength() const { return firmwareLength_; }
    std::int32_t UpgradeIndex() const { return upgradeIndex_; }
    const std::array<std::uint8_t, kFirmwareImageSize>& FirmwareImage() const { return *image_; }
    WindowTimer& upgradeTimeOutTimer() { return *upgradeTimeOutTimer_; }

private:
    // A cancelled or refused file: the way out for this unit's state.
    void giveUpChoice();
    // Moves to `next`: the port is held while an upgrade is under way, and
    // raw-line mode ends with it.
    void setState(UpgradeState next);
    bool underWay() const {
        return state_ == UpgradeState::awaitingPrompt || state_ == UpgradeState::transferring;
    }
    // Reads the file into the image; false (with its message shown) when
    // it cannot be sent.
    bool readImage(const std::string& path);
    // The image from bytes; false (with its message shown) when it cannot
    // be sent: empty, or larger than the unit takes.
    bool takeImage(std::string_view name, std::string_view bytes);
    // With an image taken: the port held and, unless the unit sits in its
    // loader, "/UPGRADE\" written.
    void startWithImage();
    void writeByteAt(std::int32_t position);
    static void run(const std::function<void()>& f) {
        if (f) f();
    }

    Deps d_;
    std::unique_ptr<WindowTimer> upgradeTimeOutTimer_;
    std::unique_ptr<std::array<std::uint8_t, kFirmwareImageSize>> image_;
    std::int32_t firmwareLength_ = 0;
    std::int32_t upgradeIndex_ = 0;
    UpgradeState state_ = UpgradeState::idle;
};

}  // namespace velmora
