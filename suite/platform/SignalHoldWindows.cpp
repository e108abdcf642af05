// SignalHold.h on Windows, which has none of the signals held: nothing is
// held, and none ever comes (a console's Ctrl+C is left as it is). One hold
// at a time still, as on POSIX systems.
#include "suite/platform/SignalHold.h"

namespace platform {
namespace {

std::mutex holding;

}  // namespace

SignalHold::SignalHold() : one_at_a_time(holding) {}

SignalHold::~SignalHold() = default;

bool SignalHold::Pending() const { return false; }

}  // namespace platform
