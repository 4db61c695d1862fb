#include "app/stop_signals.h"

namespace velmora {

// Windows ends a window program through its window messages, which Qt
// already turns into an orderly close.
std::unique_ptr<StopSignalsQuit> quitOnStopSignals() { return nullptr; }

}  // namespace velmora
