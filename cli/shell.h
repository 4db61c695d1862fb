#pragma once

// `velmoractl shell`: one process, many commands, a line each - for
// programs that keep a device open, like powerman's coprocess devices.
//
//   velmora> status            one line per outlet, in plug order: "5: on"
//   velmora> on 3              "3: ok", or "3: error <reason>"
//   velmora> off [1-8]         powerman's ranges: [1-8], [2-4,9], and "*"
//   velmora> cycle *
//   velmora> current           one line per bank: "bank 1: 2.5 A"
//   velmora> current [1-3]     one line per outlet, its bank's current
//   velmora> quit
//
// Outlets are plugs numbered across the banks: plug p is bank (p-1)/8+1,
// port (p-1)%8+1. The prompt "velmora> " follows the connection and every
// answer; every line is flushed as it is written; no colour, pager or
// progress bar. Through the port's owner when one holds the port, else on
// the port itself (and then taken up again when the unit comes back).

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "cli/shell_input.h"
#include "platform/environment.h"
#include "service/outlet_names.h"

namespace velmora::cli {

inline constexpr std::string_view kShellPrompt = "velmora> ";
inline constexpr std::size_t kMaxShellLine = 4096;

// A plug as bank and port.
struct Plug {
    int number = 0;  // 1..8 * banks
    int bank = 0;
    int port = 0;
};
Plug plugNumbered(int number);

// Reads a plug list: one plug ("5"), "*" (every plug), a range or list with
// or without brackets ("[1-8]", "[2-4,9]", "1,3", "2-4"); with `plugNamed`,
// an item that is no number is an outlet's name (its plug, or nullopt). Plugs in plug
// order, each once. nullopt with *error when the text is not such a list
// or names a plug outside 1..plugCount - typed or a name's: a name whose
// plug lies outside it names no outlet of the unit.
std::optional<std::vector<Plug>> parsePlugs(std::string_view list, int plugCount, std::string* error,
                                            const std::function<std::optional<int>(std::string_view)>& plugNamed = {});

// The lookup parsePlugs takes for the shell's names: the plug of the one
// outlet of banks 1..bankCount called `name`; names of outlets the unit
// does not have (bank 9 of a 3-bank unit) are ignored.
std::function<std::optional<int>(std::string_view)> plugsNamedIn(OutletNames names, int bankCount);

struct ShellCommand {
    enum class Kind { empty, status, on, off, cycle, current, quit, help, invalid } kind = Kind::empty;
    std::string plugs;  // on, off, cycle, current: the plug list as written ("" for current alone)
    std::string error;  // invalid: why
};
// One input line (without its line end), at most kMaxShellLine characters.
ShellCommand parseShellLine(std::string_view line);

// One switching request per group of plugs: every plug of the unit (bank
// 0 port 0), every port of a bank (port 0), or single ports.
struct PlugGroup {
    int bank = 0;
    int port = 0;
    std::vector<Plug> plugs;
};
std::vector<PlugGroup> groupPlugs(const std::vector<Plug>& plugs, int bankCount);

// Runs the shell, reading `input` and writing `out`, until "quit", the end
// of the input or a stop (`stop` readable or set). `watchInput` asks the
// session's loop to wake for input too, kNoInput to stop that (while the
// shell keeps the port itself). Returns the exit code.
int runShell(const Options& options, Session& session, ShellInput& input, std::ostream& out, StopHandle stop,
             const EnvLookup& env, const std::vector<SerialPortInfo>& ports,
             const std::function<void(InputHandle)>& watchInput);

}  // namespace velmora::cli
