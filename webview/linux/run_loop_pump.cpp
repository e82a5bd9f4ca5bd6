#include "run_loop_pump.h"

#include <glib.h>

namespace webbridge {

RunLoopPump::RunLoopPump(Steinberg::Linux::IRunLoop* runLoop) : runLoop_(runLoop) {}

RunLoopPump::~RunLoopPump() { Stop(); }

bool RunLoopPump::Start() {
  if (running_) return true;
  if (!runLoop_) return false;
  running_ = runLoop_->registerTimer(this, kIntervalMs) == Steinberg::kResultOk;
  return running_;
}

void RunLoopPump::Stop() {
  if (!running_) return;
  running_ = false;
  runLoop_->unregisterTimer(this);
}

int RunLoopPump::PumpPending(int maxIterations) {
  // One iteration per tick would make start-up several times slower: WebKit
  // queues many small steps, each waiting for the previous one.
  int dispatched = 0;
  while (dispatched < maxIterations && g_main_context_iteration(nullptr, FALSE)) ++dispatched;
  return dispatched;
}

void PLUGIN_API RunLoopPump::onTimer() {
  // Keep this object alive if something dispatched below releases the last
  // outside reference (a view torn down from a page event).
  Steinberg::IPtr<RunLoopPump> self(this);
  PumpPending();
}

}  // namespace webbridge
