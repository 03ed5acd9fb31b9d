// The plug-in's lifetime, from a start-up export to UninitializePlugin, and
// the one way the host enters code of ours, the one barrier exceptions stop at.
//
// The host may shut the plug-in down on any thread, even inside one of its
// own calls that code of ours is waiting on, and unload the module right
// after; it may then load the file again and be handed the same image, kept
// mapped, whose variables were never built again. So: every entry counts as a
// call in flight, and a shut-down that finds one pins the module; work keeps
// the Lifetime it began in and asks whether it has ended before it starts
// anything more; and the first start-up export after a shut-down puts the
// process-wide state back to its load values (the shell's BeginLifetime).
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace velmora {

// Runs body(); true when it returned, false when it threw (out of memory,
// say), in which case the exception stops here. The host, which calls our
// callbacks, and the system, which calls our window and dialog procedures,
// are not C++: an exception reaching either would take the whole
// application down. The only catch (...) of the plug-in.
template <typename Body>
bool RunGuarded(Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (...) {
    return false;
  }
}

namespace lifetime {

// Raised by every UninitializePlugin, on whatever thread.
inline std::atomic<std::uint32_t> ShutdownCount{0};
// The ShutdownCount the process-wide state was set up under; UI thread.
inline std::uint32_t StateGeneration = 0;
// Host calls into code of ours now under way, on any thread.
inline std::atomic<int> CallsInFlight{0};

// Shut down, and not started again.
inline bool IsShutDown() { return ShutdownCount.load() != StateGeneration; }

// Keeps the module mapped until the process ends: the host's FreeLibrary
// then leaves it in place, for code of ours that still has to return.
void PinModule();

// Ends the lifetime from any thread: teardown() lets go of what the host
// may no longer call, and the module is pinned if code of ours was in flight
// or still is. The count is raised first, so that code entering from here on
// sees the shut-down, while code already in flight is counted after it: the
// two atomics are taken in opposite order on each side, leaving no gap.
template <typename Teardown>
void ShutDown(Teardown&& teardown) {
  ShutdownCount.fetch_add(1);
  const bool inFlight = CallsInFlight.load() > 0;
  teardown();
  // Counted again: code in flight may have finished meanwhile, and still be
  // returning through its last instructions.
  if (inFlight || CallsInFlight.load() > 0) PinModule();
}

// Called first by the start-up exports: true once after each shut-down, when
// the process-wide state is to start afresh.
inline bool BeginsAfresh() {
  if (!IsShutDown()) return false;
  StateGeneration = ShutdownCount.load();
  return true;
}

}  // namespace lifetime

// The lifetime some work began in; it ends at the next shut-down. Work that a
// host call held up while it came (a scan, a pass, the dialog) starts nothing
// more for a plug-in that is gone.
class Lifetime {
 public:
  Lifetime() : shutdowns_(lifetime::ShutdownCount.load()) {}
  explicit Lifetime(std::uint32_t shutdowns) : shutdowns_(shutdowns) {}
  bool Ended() const { return lifetime::ShutdownCount.load() != shutdowns_; }
  // Begun after a shut-down, before a new start-up.
  bool BeganShutDown() const { return shutdowns_ != lifetime::StateGeneration; }
  // What the constructor from a count takes back, for a window to keep.
  std::uint32_t Shutdowns() const { return shutdowns_; }

 private:
  std::uint32_t shutdowns_;
};

// The one way a host call, or the system for our window and dialog, enters
// code of ours: the call counts as in flight while it runs (begun after a
// shut-down, it pins the module at once), and nothing it throws gets out.
// True when body() returned. Not for UninitializePlugin, which is the
// shut-down itself.
template <typename Body>
bool Enter(Body&& body) noexcept {
  lifetime::CallsInFlight.fetch_add(1);
  if (lifetime::IsShutDown()) lifetime::PinModule();
  const bool returned = RunGuarded(std::forward<Body>(body));
  lifetime::CallsInFlight.fetch_sub(1);
  return returned;
}

}  // namespace velmora
