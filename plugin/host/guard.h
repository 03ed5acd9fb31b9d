// The one barrier between the plug-in's code and callers that are not C++:
// the host, which calls our callbacks, and the system, which calls our window
// and dialog procedures. An exception reaching either would take the whole
// application down.
#pragma once

namespace velmora {

// Runs body(); true when it returned, false when it threw (out of memory,
// say), in which case the exception stops here.
template <typename Body>
bool RunGuarded(Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace velmora
