#include "platform/termios_settings.h"

namespace velmora {

namespace {

struct BaudCode {
    std::uint32_t baud;
    speed_t code;
};

constexpr BaudCode kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

std::optional<speed_t> speedCode(std::uint32_t baud) {
    for (const auto& b : kBauds)
        if (b.baud == baud) return b.code;
    return std::nullopt;
}

std::uint32_t baudOf(speed_t code) {
    for (const auto& b : kBauds)
        if (b.code == code) return b.baud;
    return 0;
}

SerialLineSettings lineSettingsOf(const termios& tio) {
    SerialLineSettings s;
    s.baudRate = baudOf(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5: s.byteSize = 5; break;
        case CS6: s.byteSize = 6; break;
        case CS7: s.byteSize = 7; break;
        default: s.byteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB)) {
        s.parity = Parity::none;
    } else if (tio.c_cflag & CMSPAR) {
        s.parity = (tio.c_cflag & PARODD) ? Parity::mark : Parity::space;
    } else {
        s.parity = (tio.c_cflag & PARODD) ? Parity::odd : Parity::even;
    }
    s.stopBits = (tio.c_cflag & CSTOPB) ? StopBits::two : StopBits::one;
    s.ctsOutputFlow = (tio.c_cflag & CRTSCTS) != 0;
    return s;
}

bool applyLineSettings(const SerialLineSettings& s, termios& tio) {
    auto speed = speedCode(s.baudRate);
    if (!speed) return false;
    tcflag_t size;
    switch (s.byteSize) {
        case 5: size = CS5; break;
        case 6: size = CS6; break;
        case 7: size = CS7; break;
        case 8: size = CS8; break;
        default: return false;
    }
    tcflag_t parity;
    switch (s.parity) {
        case Parity::none: parity = 0; break;
        case Parity::odd: parity = PARENB | PARODD; break;
        case Parity::even: parity = PARENB; break;
        case Parity::mark: parity = PARENB | PARODD | CMSPAR; break;
        case Parity::space: parity = PARENB | CMSPAR; break;
        default: return false;
    }
    tcflag_t stop;
    switch (s.stopBits) {
        case StopBits::one: stop = 0; break;
        case StopBits::oneAndHalf:  // only the 5-bit frame has it
            if (s.byteSize != 5) return false;
            stop = CSTOPB;
            break;
        case StopBits::two: stop = CSTOPB; break;
        default: return false;
    }

    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP |
                                           INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                                           IMAXBEL | IUCLC | IUTF8);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT |
                                           ECHOKE | ICANON | ISIG | IEXTEN | TOSTOP);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= size | parity | stop | CLOCAL | CREAD;
    if (s.ctsOutputFlow) tio.c_cflag |= CRTSCTS;
    // VMIN 1 keeps read() == 0 for a hang-up only; the descriptor is
    // non-blocking, so an empty queue reads as EAGAIN.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    return true;
}

bool isBinaryClean(const termios& tio) {
    constexpr tcflag_t kInput = IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | INLCR | IGNCR |
                                ICRNL | IUCLC;
    constexpr tcflag_t kLocal = ICANON | ECHO | ISIG | IEXTEN;
    return (tio.c_iflag & kInput) == 0 && (tio.c_oflag & OPOST) == 0 && (tio.c_lflag & kLocal) == 0;
}

}  // namespace velmora
