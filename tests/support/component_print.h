#pragma once

// Components print as their object names in test messages.

#include <ostream>

#include "mainwindow/drawing_rules.h"

namespace velmora {

inline std::ostream& operator<<(std::ostream& os, ComponentId c) { return os << componentName(c).view(); }
inline void PrintTo(ComponentId c, std::ostream* os) { *os << c; }

}  // namespace velmora
