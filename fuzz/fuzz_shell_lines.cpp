// Arbitrary lines for "velmoractl shell": read as commands, their plug
// lists read for units of 0..16 banks and grouped into switching requests.
// Every plug handed out exists, comes once and in order, and the groups
// cover exactly the plugs asked for. Aborts when that breaks.
//
// Input: byte 0 picks the bank count, the rest is the line.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "cli/shell.h"

namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora::cli;
    if (size == 0) return 0;
    const int banks = data[0] % 17;
    const std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);
    const ShellCommand command = parseShellLine(line);
    require((command.kind == ShellCommand::Kind::invalid) != command.error.empty());

    for (std::string_view list : {std::string_view(command.plugs), line}) {
        std::string why;
        const auto plugs = parsePlugs(list, banks * 8, &why);
        if (!plugs) {
            require(!why.empty());
            continue;
        }
        int last = 0;
        for (const Plug& p : *plugs) {
            require(p.number > last && p.number <= banks * 8);
            require(p.bank == (p.number - 1) / 8 + 1 && p.port == (p.number - 1) % 8 + 1);
            last = p.number;
        }
        std::size_t covered = 0;
        for (const PlugGroup& g : groupPlugs(*plugs, banks)) {
            require(g.bank >= 0 && g.bank <= banks && g.port >= 0 && g.port <= 8);
            require(g.port == 0 || g.plugs.size() == 1);
            covered += g.plugs.size();
        }
        require(covered == plugs->size());
    }
    return 0;
}
