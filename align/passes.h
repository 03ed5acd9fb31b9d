// The two ways images get aligned: the automatic pass over the objects a scan
// found, and the object-menu command over the user's selection.
#pragma once

#include <set>

#include "align/fit.h"
#include "plugin/host/host_api.h"

namespace velmora {

inline constexpr const wchar_t* kPendingPassMessage = L"貼った画像を %d 個揃えました";
inline constexpr const wchar_t* kSelectedCommandMessage = L"選んだ画像を %d 個揃えました";

// What the automatic pass fits: the ids a scan found, and the scene's format
// and the lifetime to fit them in (the settings are taken as the pass
// begins). The scan's own, lent to the RunEdit callback
// (plugin/host/timeline.h).
struct PendingPassJob {
  const std::set<ObjectId>* Pending;
  FitJob Fit;
  bool Taken = false;
};

// RunEdit callback of the scan: fits the objects whose ids the job lent to it
// holds. Does nothing without one.
void VELMORA_HOSTCALL AlignPendingPass(TimelineAccess* access);
// Object-menu handler.
void VELMORA_HOSTCALL AlignSelectedCommand(TimelineAccess* access);

}  // namespace velmora
