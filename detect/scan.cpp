// The scan behind automatic alignment.
#include "detect/scan.h"

#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "plugin/object_id_set.h"

#include "align/passes.h"
#include "detect/survey.h"
#include "plugin/state.h"

namespace velmora {
namespace {

// First visit of a scene: learn what is there, align nothing.
void LearnBaseline(std::uint32_t sceneKey, const std::vector<SurveyRecord>& records) {
  auto& baseline = state::KnownObjects[sceneKey];
  baseline.reserve(records.size());
  for (const SurveyRecord& record : records)
    baseline.insert(record.Id);
}

// The new objects to align. Every other new object becomes known at once.
std::set<ObjectId> PickCandidates(const std::vector<SurveyRecord>& records, ObjectIdSet& known) {
  // Views into the survey's texts, which outlive the set and no longer
  // change: copying every known image's path on every scan took most of the
  // comparison's time.
  std::unordered_set<std::wstring_view> knownImagePaths;
  knownImagePaths.reserve(records.size());
  for (const SurveyRecord& record : records) {
    if (record.IsImage && known.contains(record.Id)) knownImagePaths.insert(record.FilePath);
  }

  const bool automatic = state::Settings.Auto;
  std::set<ObjectId> candidates;
  for (const SurveyRecord& record : records) {
    if (known.contains(record.Id)) continue;
    if (automatic && record.IsImage && record.IsDefaultPlacement && !record.FilePath.empty() &&
        knownImagePaths.count(record.FilePath) == 0) {
      candidates.insert(record.Id);
    } else {
      known.insert(record.Id);
    }
  }
  return candidates;
}

}  // namespace

bool RunScan() {
  EditHandle* edit = state::Edit;
  if (edit == nullptr) return true;

  if (state::ResetPending.exchange(0) != 0) state::KnownObjects.clear();

  TimelineInfo info{};
  edit->QueryTimelineInfo(&info, sizeof info);

  // The records' paths are views into `texts`, which outlives them.
  TextArena texts;
  std::vector<SurveyRecord> records;
  // The host callbacks find this context through state::Scan until RunScan
  // returns, whichever way it does.
  ScanContext context;
  ScanScope scope(context);
  context.SurveyLastLayer = info.LastLayer;
  context.SurveyList = &records;
  context.SurveyTexts = &texts;
  const bool surveyed = edit->RunRead(&SurveyTimeline) != 0;
  // The survey's only while RunRead runs.
  context.SurveyList = nullptr;
  context.SurveyTexts = nullptr;
  if (!surveyed) return false;
  // Not repeated: the next host event brings a new scan.
  if (context.SurveyFailed) return true;

  auto found = state::KnownObjects.find(info.SceneKey);
  if (found == state::KnownObjects.end()) {
    LearnBaseline(info.SceneKey, records);
    return true;
  }
  auto& known = found->second;
  const std::set<ObjectId> candidates = PickCandidates(records, known);
  if (candidates.empty()) return true;

  state::PendingObjects = candidates;
  state::PendingSceneFormat = SceneFormatOf(info);
  context.PendingObjects = &state::PendingObjects;
  context.Format = &state::PendingSceneFormat;
  if (edit->RunEdit(&AlignPendingPass) == 0) return false;

  // `known` is still valid: nothing has touched the registry since the lookup.
  for (ObjectId id : candidates)
    known.insert(id);
  return true;
}

}  // namespace velmora
