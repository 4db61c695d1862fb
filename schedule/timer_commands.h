#pragma once

// The two commands that carry timers to the unit. Numbers are decimal with
// fixed widths and leading zeros; out-of-range fields give an empty string
// (writing it sends nothing) rather than a command for the wrong outlet.

#include <string>

namespace velmora {

// "/Q%02d%01d%01d\": clear timers. bank 0..99 (00 with port 0: every bank),
// port 0..8 (0: whole bank), action 1 (power-on) or 0 (power-off);
// otherwise "".
std::string cmdClearTimer(int bank, int port, int action);

// "/%c%02d%01d%01d %03d%02d%02d\": set a timer that first fires after the
// given time. letter 'T' (once), 'D' (every day) or 'W' (every week);
// bank 0..99, port 0..8, action 0 or 1; hours >= 0, written with at least
// three digits and more when needed; minutes and seconds 0..99 (two digits).
// Anything else gives "".
std::string cmdSetTimer(char letter, int bank, int port, int action, int hours, int minutes,
                        int seconds);

}  // namespace velmora
