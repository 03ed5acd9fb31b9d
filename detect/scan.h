// One scan: survey the timeline, compare with what each scene already holds,
// and have newly pasted images aligned.
#pragma once

#include <atomic>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "plugin/host_api.h"

namespace velmora {

using KnownObjectRegistry = std::unordered_map<std::uint32_t, std::unordered_set<ObjectId>>;

// Objects already judged, per scene; only grows until a reset. UI thread only.
KnownObjectRegistry& KnownObjects();
// Set by the reset handler on any thread; the next scan clears it and
// empties the registry.
std::atomic<std::uint8_t>& ResetPending();

// False when the host refused a callback and the scan must be repeated.
bool RunScan();

}  // namespace velmora
