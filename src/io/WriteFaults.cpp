#include "io/WriteFaults.h"

#include <atomic>
#include <mutex>

namespace pelcato {
namespace {

// Writes come from the caller's thread, a split's second thread and the copying threads: the
// hook is asked by one of them at a time, so that it may count without locks of its own.
struct TFaultHook {
  std::mutex Lock;
  TWriteFaultHook Hook;
  std::atomic<bool> Set{false};
};

TFaultHook& FaultHook() {
  static TFaultHook hook;
  return hook;
}

}  // namespace

bool WriteAllowed() {
  TFaultHook& f = FaultHook();
  if (!f.Set.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> g(f.Lock);
  return !f.Hook || f.Hook();
}

void SetWriteFaultHook(TWriteFaultHook hook) {
  TFaultHook& f = FaultHook();
  std::lock_guard<std::mutex> g(f.Lock);
  f.Set.store(bool(hook), std::memory_order_release);
  f.Hook = std::move(hook);
}

}  // namespace pelcato
