// The fault-injection switch.
#include "platform/faults.h"

#include <cstddef>

namespace qx::platform {
namespace {

Fault armed_kind = Fault::Open;  // the kind that fails
long fail_at = 0;                // the call number that fails
bool fail_after = false;         // every later call fails too

}  // namespace

bool detail::fault_armed = false;                                     // the switch is on
long detail::fault_call_counts[static_cast<int>(Fault::Count)] = {};  // since arming or disarming

namespace {
using detail::fault_armed;
auto& calls = detail::fault_call_counts;
}  // namespace

void fault_arm(Fault kind, long nth, bool persistent) {
    for (long& count : calls) count = 0;
    fault_armed = true;
    armed_kind = kind;
    fail_at = nth;
    fail_after = persistent;
}

void fault_disarm() {
    for (long& count : calls) count = 0;
    fault_armed = false;
}

long fault_calls(Fault kind) { return calls[static_cast<std::size_t>(kind)]; }

bool detail::fault_due(Fault kind, long call) {
    if (kind != armed_kind) return false;
    return call == fail_at || (fail_after && call > fail_at);
}

}  // namespace qx::platform
