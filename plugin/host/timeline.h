// Reading the host's timeline inside a RunRead or RunEdit callback: what a
// callback works on, the one walk over every object, and what makes an
// object an image.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "plugin/host/host_api.h"
#include "plugin/host/host_names.h"
#include "plugin/host/host_text.h"

namespace velmora {

// The host's RunRead and RunEdit callbacks receive nothing but the access
// table, so what one works on is lent to it for the length of the host call.
// UI thread; null outside such a call.
template <typename Job>
inline Job* g_LentJob = nullptr;

// Has the host run `callback` through `run` (RunRead or RunEdit) with `job`
// lent to it? A host may answer yes and never have run it: the callback's
// TakeLentJob says whether it did. Job has a bool Taken, false until then.
template <typename Job>
bool RunLending(std::uint8_t(VELMORA_HOSTCALL* run)(EditCallback), EditCallback callback,
                Job& job) {
  Job* const outer = std::exchange(g_LentJob<Job>, &job);
  const bool answered = run(callback) != 0;  // a C function: nothing is thrown through it
  g_LentJob<Job> = outer;
  return answered && job.Taken;
}
// In the callback: the job lent to it, marked taken, or null.
template <typename Job>
Job* TakeLentJob() {
  if (g_LentJob<Job> != nullptr) g_LentJob<Job>->Taken = true;
  return g_LentJob<Job>;
}

// Calls visit(object) for each object of layers 0..lastLayer (none when it is
// negative), layer by layer, each layer from frame 0 in the host's order. Per
// layer the host is asked ObjectAtOrAfter(layer, 0); per object GetSpan, then
// the visit, then ObjectAtOrAfter(layer, last frame + 1). The last frame is
// read before the visit, so a visit that lengthens the object does not move
// the walk.
template <typename Visit>
inline void ForEachObject(TimelineAccess* access, std::int32_t lastLayer, Visit&& visit) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  for (std::int32_t layer = 0; layer <= lastLayer; ++layer) {
    std::int32_t from = 0;
    ObjectHandle object = access->ObjectAtOrAfter(layer, 0);
    while (object != nullptr) {
      const std::int32_t last = access->GetSpan(object).LastFrame;
      visit(object);
      // An object ending before the frame asked for, or at the last frame
      // there is, ends the layer: there is no later frame to ask from (last + 1
      // would wrap to the layer's start).
      if (last < from || last == kMax) break;
      from = last + 1;
      object = access->ObjectAtOrAfter(layer, from);
    }
    if (layer == kMax) break;
  }
}

// At least one image-file and one standard-drawing effect. The second count
// is asked only when the first is positive.
inline bool IsImageObject(TimelineAccess* access, ObjectHandle object) {
  return access->EffectCount(object, kImageEffect) > 0 &&
         access->EffectCount(object, kDrawEffect) > 0;
}

// The image file's path as the host's own text, or null.
inline const char* ImageFileText(TimelineAccess* access, ObjectHandle object) {
  return access->GetItem(object, kImageEffect, kFileItem);
}
// The image file's path as the host gives it; empty when it gives none.
inline std::wstring ImageFilePath(TimelineAccess* access, ObjectHandle object) {
  return WideFromUtf8(ImageFileText(access, object));
}

}  // namespace velmora
