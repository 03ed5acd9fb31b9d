// The scan behind automatic alignment.
#include "detect/scan.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "align/passes.h"
#include "detect/survey.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

namespace velmora {
namespace {

KnownObjectRegistry g_KnownObjects;
std::atomic<std::uint8_t> g_ResetPending{0};

}  // namespace

KnownObjectRegistry& KnownObjects() { return g_KnownObjects; }
std::atomic<std::uint8_t>& ResetPending() { return g_ResetPending; }

bool RunScan() {
  EditHandle* edit = GetEditHandle();
  if (edit == nullptr) return true;

  if (g_ResetPending.exchange(0) != 0) g_KnownObjects.clear();

  TimelineInfo info{};
  edit->QueryTimelineInfo(&info, sizeof info);

  std::vector<SurveyRecord> records;
  SurveyLastLayer() = info.LastLayer;
  SurveyList() = &records;
  SurveyFailed() = false;
  bool surveyed = edit->RunRead(&SurveyTimeline) != 0;
  SurveyList() = nullptr;
  if (!surveyed) return false;
  // Not repeated: the next host event brings a new scan.
  if (SurveyFailed()) return true;

  auto found = g_KnownObjects.find(info.SceneKey);
  if (found == g_KnownObjects.end()) {
    // First visit of the scene: learn what is there, align nothing.
    auto& baseline = g_KnownObjects[info.SceneKey];
    baseline.reserve(records.size());
    for (const SurveyRecord& record : records)
      baseline.insert(record.Id);
    return true;
  }
  auto& known = found->second;

  // Views into the survey list, which outlives the set and no longer
  // changes: copying every known image's path on every scan took most of the
  // comparison's time.
  std::unordered_set<std::wstring_view> knownImagePaths;
  knownImagePaths.reserve(records.size());
  for (const SurveyRecord& record : records) {
    if (record.IsImage && known.count(record.Id) != 0) knownImagePaths.insert(record.FilePath);
  }

  const bool automatic = Settings().Auto;
  std::set<ObjectId> candidates;
  for (const SurveyRecord& record : records) {
    if (known.count(record.Id) != 0) continue;
    if (automatic && record.IsImage && record.IsDefaultPlacement && !record.FilePath.empty() &&
        knownImagePaths.count(record.FilePath) == 0) {
      candidates.insert(record.Id);
    } else {
      known.insert(record.Id);
    }
  }
  if (candidates.empty()) return true;

  PendingObjects() = candidates;
  PendingSceneFormat() = SceneFormatOf(info);
  if (edit->RunEdit(&AlignPendingPass) == 0) return false;

  // `known` is still valid: nothing has touched the registry since the lookup.
  for (ObjectId id : candidates)
    known.insert(id);
  return true;
}

}  // namespace velmora
