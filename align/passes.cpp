// The automatic pass over pending objects and the object-menu command.
#include "align/passes.h"

#include <cwchar>
#include <set>
#include <vector>

#include "align/fit.h"
#include "plugin/host/host_log.h"
#include "plugin/host/lifetime.h"
#include "plugin/host/timeline.h"
#include "settings/settings.h"

namespace velmora {
namespace {

void LogCount(const Lifetime& of, const wchar_t* format, int count) {
  wchar_t line[128];
  std::swprintf(line, 128, format, count);
  LogInfo(of, line);
}

void PendingPass(TimelineAccess* access, const PendingPassJob& job) {
  // The settings as they stand when the pass begins; the host may have run
  // the dialog inside RunEdit before it.
  FitJob fit = job.Fit;
  fit.Settings = state::Settings;
  int count = 0;
  // A lengthened object still covers the frame after its old end, so the host
  // may hand it out again; fitting it twice would change nothing but would
  // count one pasted image as two and repeat its warnings. Kept by handle, not
  // by id: two different objects the host gave one id are both new.
  std::set<ObjectHandle> fitted;
  ForEachObject(access, access->Info->LastLayer, [&](ObjectHandle object) {
    const ObjectId id = access->GetObjectId(object);
    // Nothing more is begun for a plug-in that was shut down meanwhile.
    if (job.Pending->count(id) != 0 && !fit.BegunIn.Ended() && fitted.insert(object).second) {
      FitImage(access, object, fit);
      ++count;
    }
  });
  LogCount(fit.BegunIn, kPendingPassMessage, count);
}

void SelectedCommand(TimelineAccess* access) {
  const FitJob job{SceneFormatOf(*access->Info), state::Settings, Lifetime()};
  // A plug-in that was shut down has no settings of its own to fit with.
  if (job.BegunIn.BeganShutDown()) return;
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
    // Nothing more is begun for a plug-in that was shut down meanwhile.
    if (job.BegunIn.Ended()) break;
    FitImage(access, object, job);
    ++count;
  }
  LogCount(job.BegunIn, kSelectedCommandMessage, count);
}

}  // namespace

// Out of memory ends the pass or the command where it stands.
void VELMORA_HOSTCALL AlignPendingPass(TimelineAccess* access) {
  if (const PendingPassJob* job = TakeLentJob<PendingPassJob>())
    Enter([&] { PendingPass(access, *job); });
}

void VELMORA_HOSTCALL AlignSelectedCommand(TimelineAccess* access) {
  Enter([&] { SelectedCommand(access); });
}

}  // namespace velmora
