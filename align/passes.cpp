// The automatic pass over pending objects and the object-menu command.
#include "align/passes.h"

#include <cwchar>
#include <set>
#include <vector>

#include "align/fit.h"
#include "plugin/host/guard.h"
#include "plugin/host/host_log.h"
#include "plugin/host/lifetime.h"
#include "plugin/state.h"
#include "plugin/host/timeline.h"

namespace velmora {
namespace {

void LogCount(const wchar_t* format, int count) {
  wchar_t line[128];
  std::swprintf(line, 128, format, count);
  LogInfo(line);
}

void PendingPass(TimelineAccess* access, const ScanContext& scan) {
  const std::set<ObjectId>& pending = *scan.PendingObjects;
  const FitJob job{scan.Format, state::Settings, scan.Lifetime};
  int count = 0;
  // A lengthened object still covers the frame after its old end, so the host
  // may hand it out again; fitting it twice would change nothing but would
  // count one pasted image as two and repeat its warnings. Kept by handle, not
  // by id: two different objects the host gave one id are both new.
  std::set<ObjectHandle> fitted;
  ForEachObject(access, access->Info->LastLayer, [&](ObjectHandle object) {
    const ObjectId id = access->GetObjectId(object);
    // Nothing more is changed for a plug-in that was shut down meanwhile.
    if (pending.count(id) != 0 && scan.StillCurrent() && fitted.insert(object).second) {
      FitImage(access, object, job);
      ++count;
    }
  });
  if (scan.StillCurrent()) LogCount(kPendingPassMessage, count);
}

void SelectedCommand(TimelineAccess* access) {
  const FitJob job{SceneFormatOf(*access->Info), state::Settings, state::Lifetime.load()};
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
    if (!IsImageObject(access, object)) continue;
    FitImage(access, object, job);
    ++count;
  }
  if (state::Lifetime.load() == job.Lifetime) LogCount(kSelectedCommandMessage, count);
}

}  // namespace

// Out of memory ends the pass or the command where it stands.
void VELMORA_HOSTCALL AlignPendingPass(TimelineAccess* access) {
  ScanContext* scan = state::Scan;
  if (scan == nullptr || scan->PendingObjects == nullptr) return;
  scan->PassRan = true;
  RunGuarded([&] { PendingPass(access, *scan); });
}

void VELMORA_HOSTCALL AlignSelectedCommand(TimelineAccess* access) {
  const ModuleInUse inUse;
  RunGuarded([&] { SelectedCommand(access); });
}

}  // namespace velmora
