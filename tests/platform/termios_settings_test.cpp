// The line settings in and out of termios, for frames a pseudo-terminal
// cannot show (recent kernels force a pty to 8 bits without parity).

#include "platform/termios_settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velmora {
namespace {

termios blank() {
    termios tio;
    std::memset(&tio, 0, sizeof tio);
    return tio;
}

// Everything an earlier program may have left on the line.
termios dirty() {
    termios tio = blank();
    tio.c_iflag = IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | BRKINT;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    tio.c_cflag = CS7 | PARENB | CSTOPB | HUPCL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 5;
    return tio;
}

TEST(TermiosSettings, EveryFrameTermiosCanSayRoundTrips) {
    const SerialLineSettings rows[] = {
        {9600, 8, Parity::none, StopBits::one, true},
        {1200, 7, Parity::even, StopBits::two, false},
        {300, 7, Parity::odd, StopBits::one, true},
        {19200, 8, Parity::mark, StopBits::one, false},
        {57600, 6, Parity::space, StopBits::two, true},
        {921600, 8, Parity::none, StopBits::one, false},
    };
    for (const SerialLineSettings& want : rows) {
        SCOPED_TRACE(std::to_string(want.baudRate) + " " + std::to_string(want.byteSize));
        termios tio = dirty();
        ASSERT_TRUE(applyLineSettings(want, tio));
        const SerialLineSettings got = lineSettingsOf(tio);
        EXPECT_EQ(got.baudRate, want.baudRate);
        EXPECT_EQ(got.byteSize, want.byteSize);
        EXPECT_EQ(got.parity, want.parity);
        EXPECT_EQ(got.stopBits, want.stopBits);
        EXPECT_EQ(got.ctsOutputFlow, want.ctsOutputFlow);
        EXPECT_TRUE(isBinaryClean(tio));
    }
}

// One and a half stop bits exist for 5-bit frames only, and read back as
// the longer stop termios has.
TEST(TermiosSettings, OneAndAHalfStopBitsOnlyWithFiveBits) {
    termios tio = blank();
    ASSERT_TRUE(applyLineSettings({110, 5, Parity::none, StopBits::oneAndHalf, false}, tio));
    EXPECT_EQ(lineSettingsOf(tio).byteSize, 5);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
}

TEST(TermiosSettings, WhatTermiosCannotSayIsRefusedAndChangesNothing) {
    const struct {
        const char* name;
        SerialLineSettings settings;
    } rows[] = {
        {"unknown baud rate", {12345, 8, Parity::none, StopBits::one, true}},
        {"nine data bits", {9600, 9, Parity::none, StopBits::one, true}},
        {"four data bits", {9600, 4, Parity::none, StopBits::one, true}},
        {"unknown parity", {9600, 8, static_cast<Parity>(5), StopBits::one, true}},
        {"unknown stop bits", {9600, 8, Parity::none, static_cast<StopBits>(3), true}},
        {"one and a half stops with eight bits", {9600, 8, Parity::none, StopBits::oneAndHalf, true}},
    };
    for (const auto& r : rows) {
        termios tio = dirty();
        const termios before = tio;
        EXPECT_FALSE(applyLineSettings(r.settings, tio)) << r.name;
        EXPECT_EQ(std::memcmp(&tio, &before, sizeof tio), 0) << r.name << ": changed the line";
    }
}

// The line is made raw and binary-clean; the flags the program does not own
// (hang up on close) stay as they were.
TEST(TermiosSettings, ApplyingMakesTheLineRawAndKeepsWhatItDoesNotOwn) {
    termios tio = dirty();
    ASSERT_TRUE(applyLineSettings(SerialLineSettings{}, tio));
    EXPECT_TRUE(isBinaryClean(tio));
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_NE(tio.c_cflag & HUPCL, 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
}

TEST(TermiosSettings, AnyOneByteChangingFlagMakesTheLineUnclean) {
    const struct {
        const char* name;
        tcflag_t termios::*field;
        tcflag_t flag;
    } rows[] = {
        {"XON/XOFF", &termios::c_iflag, IXON},      {"parity check", &termios::c_iflag, INPCK},
        {"parity marks", &termios::c_iflag, PARMRK}, {"stripping", &termios::c_iflag, ISTRIP},
        {"CR to NL", &termios::c_iflag, ICRNL},     {"NL to CR", &termios::c_iflag, INLCR},
        {"output processing", &termios::c_oflag, OPOST}, {"line editing", &termios::c_lflag, ICANON},
        {"echo", &termios::c_lflag, ECHO},          {"signals", &termios::c_lflag, ISIG},
    };
    termios clean = blank();
    ASSERT_TRUE(applyLineSettings(SerialLineSettings{}, clean));
    ASSERT_TRUE(isBinaryClean(clean));
    for (const auto& r : rows) {
        termios tio = clean;
        tio.*r.field |= r.flag;
        EXPECT_FALSE(isBinaryClean(tio)) << r.name;
    }
}

TEST(TermiosSettings, BaudCodesBothWays) {
    for (std::uint32_t baud : {50u, 300u, 9600u, 115200u, 921600u}) {
        const auto code = speedCode(baud);
        ASSERT_TRUE(code.has_value()) << baud;
        EXPECT_EQ(baudOf(*code), baud);
    }
    EXPECT_FALSE(speedCode(0).has_value());
    EXPECT_FALSE(speedCode(9601).has_value());
    EXPECT_EQ(baudOf(static_cast<speed_t>(0x7fffffff)), 0u);
}

}  // namespace
}  // namespace velmora
