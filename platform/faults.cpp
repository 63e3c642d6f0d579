// The fault-injection switch.
#include "platform/faults.h"

#include <cstddef>

namespace qx::platform {
namespace {

constexpr auto kKinds = static_cast<std::size_t>(Fault::Count);

bool armed = false;          // the switch is on
Fault armed_kind = Fault::Open;  // the kind that fails
long fail_at = 0;            // the call number that fails
bool fail_after = false;     // every later call fails too
long calls[kKinds] = {};     // calls of each kind since arming or disarming

}  // namespace

void fault_arm(Fault kind, long nth, bool persistent) {
    for (long& count : calls) count = 0;
    armed = true;
    armed_kind = kind;
    fail_at = nth;
    fail_after = persistent;
}

void fault_disarm() {
    for (long& count : calls) count = 0;
    armed = false;
}

long fault_calls(Fault kind) { return calls[static_cast<std::size_t>(kind)]; }

bool fault_now(Fault kind) {
    const long call = ++calls[static_cast<std::size_t>(kind)];
    if (!armed || kind != armed_kind) return false;
    return call == fail_at || (fail_after && call > fail_at);
}

}  // namespace qx::platform
