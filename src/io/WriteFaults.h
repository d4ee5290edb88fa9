// Injected write faults for the tests: a hook asked before every write to a destination.
#pragma once

#include <functional>

namespace pelcato {

// Asked before every write to a destination, from whichever thread writes, one call at a
// time; answering false fails that write as a full disk would.
using TWriteFaultHook = std::function<bool()>;
void SetWriteFaultHook(TWriteFaultHook hook);

// False when the hook fails the write about to be made (true without a hook).
bool WriteAllowed();

}  // namespace pelcato
