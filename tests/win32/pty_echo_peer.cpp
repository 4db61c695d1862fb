// Linux-side peer for the Win32 serial test under Wine: owns a pty, prints
// its slave path on one line, echoes every byte it receives, and checks the
// slave's termios each time bytes arrive (the program under test applies its
// line settings before it writes anything). The slave starts out in a
// deliberately wrong, cooked state, so every check shows that the program
// set it. Runs until SIGTERM/SIGINT, then prints one line per check and
// exits 0 only when the termios was checked at least once and always right.
//
// Built with the host compiler by scripts/test-win32.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

struct TermiosCheck {
    const char* name;
    bool (*holds)(const termios&);
    long passed = 0;
    long failed = 0;
};

std::vector<TermiosCheck> makeChecks() {
    return {
        {"output speed 9600", [](const termios& t) { return cfgetospeed(&t) == B9600; }},
        {"input speed 9600", [](const termios& t) { return cfgetispeed(&t) == B9600; }},
        {"8 data bits (CS8)", [](const termios& t) { return (t.c_cflag & CSIZE) == CS8; }},
        {"no parity (-parenb)", [](const termios& t) { return (t.c_cflag & PARENB) == 0; }},
        {"one stop bit (-cstopb)", [](const termios& t) { return (t.c_cflag & CSTOPB) == 0; }},
        {"CTS/RTS flow control (crtscts)", [](const termios& t) { return (t.c_cflag & CRTSCTS) != 0; }},
        {"receiver on (cread)", [](const termios& t) { return (t.c_cflag & CREAD) != 0; }},
        {"no XON/XOFF output (-ixon)", [](const termios& t) { return (t.c_iflag & IXON) == 0; }},
        {"no XON/XOFF input (-ixoff)", [](const termios& t) { return (t.c_iflag & IXOFF) == 0; }},
        {"no 8th-bit stripping (-istrip)", [](const termios& t) { return (t.c_iflag & ISTRIP) == 0; }},
        {"no CR/NL mapping (-icrnl -inlcr -igncr)",
         [](const termios& t) { return (t.c_iflag & (ICRNL | INLCR | IGNCR)) == 0; }},
        {"non-canonical (-icanon)", [](const termios& t) { return (t.c_lflag & ICANON) == 0; }},
        {"no echo (-echo)", [](const termios& t) { return (t.c_lflag & ECHO) == 0; }},
        {"no output processing (-opost)", [](const termios& t) { return (t.c_oflag & OPOST) == 0; }},
    };
}

// Everything a careless open would leave wrong: other speed, 7E2, no
// hardware flow control, XON/XOFF, CR/NL mapping, stripping, cooked, echo.
bool setWrongStart(int master) {
    termios t{};
    if (tcgetattr(master, &t) != 0) return false;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    t.c_cflag = CS7 | PARENB | CSTOPB | CREAD | CLOCAL;
    t.c_iflag = IXON | IXOFF | ICRNL | INLCR | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO;
    return tcsetattr(master, TCSANOW, &t) == 0;
}

void pauseMs(long ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

bool writeAll(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd pfd{fd, POLLOUT, 0};
                poll(&pfd, 1, 100);
                if (stopRequested) return false;
                continue;
            }
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

int main() {
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pty");
        return 2;
    }
    const char* slave = ptsname(master);
    if (slave == nullptr || !setWrongStart(master)) {
        std::perror("pty setup");
        return 2;
    }
    std::printf("%s\n", slave);
    std::fflush(stdout);

    std::vector<TermiosCheck> checks = makeChecks();
    long received = 0;
    unsigned char buf[4096];
    while (!stopRequested) {
        pollfd pfd{master, POLLIN, 0};
        const int rc = poll(&pfd, 1, 100);
        if (rc <= 0) continue;
        if ((pfd.revents & POLLIN) == 0) {
            // No slave open (between the program's opens): a pty master then
            // reports POLLHUP at once, so pause instead of spinning.
            pauseMs(20);
            continue;
        }
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) {
            pauseMs(20);  // EIO while no slave is open
            continue;
        }
        received += n;
        // On a pty the master reads and reports the slave's termios.
        termios t{};
        if (tcgetattr(master, &t) == 0) {
            for (TermiosCheck& c : checks) (c.holds(t) ? c.passed : c.failed)++;
        }
        writeAll(master, buf, static_cast<size_t>(n));
    }

    bool good = true;
    for (const TermiosCheck& c : checks) {
        const bool ok = c.passed > 0 && c.failed == 0;
        good = good && ok;
        std::printf("%s termios %s (right %ld times, wrong %ld times)\n", ok ? "PASS" : "FAIL", c.name,
                    c.passed, c.failed);
    }
    std::printf("peer received and echoed %ld bytes\n", received);
    std::fflush(stdout);
    ::close(master);
    return good ? 0 : 1;
}
