#pragma once

// The translation between the program's line settings and a termios
// structure: pure, so that every frame and every refusal is tested without
// a port. POSIX only.

#include <cstdint>
#include <optional>

#include <termios.h>

#include "platform/serial_device.h"

namespace velmora {

// The termios speed code of a baud rate, nullopt for a rate it has none for;
// and back, 0 for a code without a rate.
std::optional<speed_t> speedCode(std::uint32_t baud);
std::uint32_t baudOf(speed_t code);

// What a port's termios says of the settings the program changes.
SerialLineSettings lineSettingsOf(const termios& tio);

// Changes only what the program sets, and makes the line binary-clean
// whatever an earlier program left: firmware images cross it. False (and
// `tio` unchanged) for settings termios cannot express.
bool applyLineSettings(const SerialLineSettings& s, termios& tio);

// True when nothing in `tio` would change, drop, insert or act on a byte:
// no XON/XOFF, no parity check or marking, no stripping, no CR/NL or case
// mapping, no output processing, no line editing, echo or signals.
bool isBinaryClean(const termios& tio);

}  // namespace velmora
