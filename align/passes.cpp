// The automatic pass over pending objects and the object-menu command.
#include "align/passes.h"

#include <cwchar>
#include <limits>
#include <set>
#include <vector>

#include "align/fit.h"
#include "plugin/host_log.h"
#include "plugin/host_names.h"
#include "plugin/state.h"

namespace velmora {
namespace {

void LogCount(const wchar_t* format, int count) {
  wchar_t line[128];
  std::swprintf(line, 128, format, count);
  LogInfo(line);
}

void PendingPass(TimelineAccess* access, const std::set<ObjectId>& pending,
                 const SceneFormat& format) {
  int count = 0;
  // A lengthened object still covers the frame after its old end, so the host
  // may hand it out again; fitting it twice would change nothing but would
  // count one pasted image as two and repeat its warnings. Kept by handle, not
  // by id: two different objects the host gave one id are both new.
  std::set<ObjectHandle> fitted;
  const std::int32_t lastLayer = access->Info->LastLayer;
  for (std::int32_t layer = 0; layer <= lastLayer; ++layer) {
    std::int32_t from = 0;
    ObjectHandle object = access->ObjectAtOrAfter(layer, 0);
    while (object != nullptr) {
      // Read before fitting: the walk goes on from the old end even when the
      // object has just been lengthened.
      std::int32_t last = access->GetSpan(object).LastFrame;
      ObjectId id = access->GetObjectId(object);
      if (pending.count(id) != 0 && fitted.insert(object).second) {
        FitImage(access, object, format);
        ++count;
      }
      // An object ending before the frame asked for, or at the last frame
      // there is, ends the layer: there is no later frame to ask from.
      if (last < from || last == std::numeric_limits<std::int32_t>::max()) break;
      from = last + 1;
      object = access->ObjectAtOrAfter(layer, from);
    }
    if (layer == std::numeric_limits<std::int32_t>::max()) break;
  }
  LogCount(kPendingPassMessage, count);
}

void SelectedCommand(TimelineAccess* access) {
  const SceneFormat format = SceneFormatOf(*access->Info);
  std::vector<ObjectHandle> objects;
  const std::int32_t selected = access->SelectedCount();
  for (std::int32_t i = 0; i < selected; ++i) {
    if (ObjectHandle object = access->SelectedObject(i)) objects.push_back(object);
  }
  if (objects.empty()) {
    if (ObjectHandle object = access->FocusedObject()) objects.push_back(object);
  }

  int count = 0;
  for (ObjectHandle object : objects) {
    if (access->EffectCount(object, kImageEffect) <= 0) continue;
    if (access->EffectCount(object, kDrawEffect) <= 0) continue;
    FitImage(access, object, format);
    ++count;
  }
  LogCount(kSelectedCommandMessage, count);
}

}  // namespace

// Both run inside the host's code, which must never see an exception; out of
// memory ends the pass where it stands.
void VELMORA_HOSTCALL AlignPendingPass(TimelineAccess* access) {
  const ScanContext* scan = state::Scan;
  if (scan == nullptr || scan->PendingObjects == nullptr || scan->Format == nullptr) return;
  try {
    PendingPass(access, *scan->PendingObjects, *scan->Format);
  } catch (...) {
  }
}

void VELMORA_HOSTCALL AlignSelectedCommand(TimelineAccess* access) {
  try {
    SelectedCommand(access);
  } catch (...) {
  }
}

}  // namespace velmora
