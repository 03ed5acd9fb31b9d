// What keeps the module mapped while code of ours may still run after the
// host has shut the plug-in down, and what makes a module the host loads
// again start afresh. The counters are in plugin/state.h.
#pragma once

#include "plugin/state.h"

namespace velmora {

// Keeps the module mapped until the process ends: the host's FreeLibrary
// then leaves it in place. Used only where code of ours outlives
// UninitializePlugin (a window the host's thread did not let go of, a scan
// or dialog under way); a module pinned so is given back to a host that
// loads it again, and BeginLifetime makes it fresh.
void PinModule();

// Run first by every start-up export: after an UninitializePlugin, the
// process-wide variables go back to their load values, as in a module the
// system has just mapped. Does nothing otherwise. UI thread.
void BeginLifetime();

// Marks code of ours as under way for as long as it lives (see
// state::CodeUnderWay). Begun after the plug-in was shut down, it pins the
// module itself: the host may unload it at any moment.
class ModuleInUse {
 public:
  ModuleInUse() {
    state::CodeUnderWay.fetch_add(1);
    if (state::Lifetime.load() != state::StateLifetime) PinModule();
  }
  ~ModuleInUse() { state::CodeUnderWay.fetch_sub(1); }
  ModuleInUse(const ModuleInUse&) = delete;
  ModuleInUse& operator=(const ModuleInUse&) = delete;
};

}  // namespace velmora
