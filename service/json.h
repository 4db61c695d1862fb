#pragma once

// JSON as every front end and the control socket write it: the members in
// the order they are set, so a line reads the way it is documented.

#include <nlohmann/json.hpp>

namespace velmora {

using Json = nlohmann::ordered_json;

}  // namespace velmora
