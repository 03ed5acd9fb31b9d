// Change detection's part of the process-wide state: the memory of known
// objects and the message window that scans run on.
#pragma once

#include <atomic>
#include <cstdint>
#include <unordered_map>

#include <windows.h>

#include "detect/object_id_set.h"

namespace velmora {

// Per scene (TimelineInfo::SceneKey), the objects already judged. A scene's
// set is flat (about 21 bytes per id): a long session can know hundreds of
// thousands of objects.
using KnownObjectRegistry = std::unordered_map<std::uint32_t, ObjectIdSet>;

namespace state {

// Only grows, until a scan that finds ResetPending set empties it. UI thread.
inline KnownObjectRegistry KnownObjects;
// Set by RequestReset on any thread, and by a new lifetime; cleared, by
// atomic exchange, by the next scan.
inline std::atomic<std::uint8_t> ResetPending{0};
// The message-only window scans run on: from RegisterPlugin to
// UninitializePlugin, null otherwise. Read on any thread.
inline std::atomic<HWND> MessageWindow{nullptr};
// 1 while a ScanRequest is queued: set by RequestScan on any thread, cleared
// by the window procedure before it scans, and when a window is created.
inline std::atomic<std::uint8_t> ScanPosted{0};
// The message window's class is registered; UI thread.
inline bool MessageClassRegistered = false;
// True while a scan runs (UI thread). A host that dispatches our messages
// from inside RunRead or RunEdit would otherwise start a scan over the state
// the running one is still using.
inline bool Scanning = false;

// A new lifetime knows no scene. Emptied by the next scan, not here: a scan
// of the lifetime before may still be using the registry, held up inside a
// host call that the shut-down and the new start-up came in, and what it
// learns there is emptied with the rest. The window's four variables follow
// the window instead.
inline void ForgetScenes() { ResetPending.store(1); }

}  // namespace state
}  // namespace velmora
