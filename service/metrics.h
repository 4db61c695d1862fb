#pragma once

// The unit's state in the Prometheus text exposition format (version
// 0.0.4), for node_exporter's textfile collector (velmoractl metrics) and
// for a scrape of `velmoractl serve --metrics`:
//
//   velmora_up{device}                                1 when the unit answered
//   velmora_outlet_on{device,bank,outlet,name}        1 on, 0 off
//   velmora_bank_current_amperes{device,bank}         the bank's current
//   velmora_timer_seconds{device,bank,outlet,direction}
//                                                     time until a reported timer
//                                                     fires ("on" / "off"; 0 when due)
//   velmora_info{device,bank,firmware}                1
//
// Label values are escaped as the format wants (\\, \", \n); the unit's
// 8-bit texts become UTF-8. Pure: the caller takes the state.

#include <functional>
#include <string>

#include "platform/clock.h"
#include "schedule/timer_tables.h"
#include "service/unit_view.h"

namespace velmora {

// An outlet's name ("" for none): bank 1..16, port 1..8.
using OutletNameLookup = std::function<std::string(int bank, int port)>;

std::string metricsText(const std::string& device, bool up, const UnitView& unit, const TimerTables& tables,
                        const LocalMoment& now, const OutletNameLookup& nameOf = {});

// A label value as the exposition format writes it (without the quotes).
std::string metricsLabel(std::string_view value);

}  // namespace velmora
