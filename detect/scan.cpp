// The scan behind automatic alignment.
#include "detect/scan.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string_view>
#include <vector>

#include "align/passes.h"
#include "detect/survey.h"
#include "plugin/object_id_set.h"
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

// The files of the new images that may be aligned, each marked once a known
// image turns out to show it too. Only these few paths go in; every known
// image's path is merely looked up, which costs a hash and a probe instead of
// an entry in a set as large as the scene. Open addressing with linear
// probing, at most half the slots taken.
class NewImageFiles {
 public:
  explicit NewImageFiles(std::size_t count) {
    std::size_t slots = 16;
    while (slots < count * 2)
      slots *= 2;
    slots_.resize(slots);
  }

  void Add(std::wstring_view path) {
    const std::size_t hash = std::hash<std::wstring_view>{}(path);
    Slot& slot = Find(path, hash);
    slot.Hash = hash;
    slot.Path = path;
    slot.Taken = true;
  }
  void MarkShown(std::wstring_view path) {
    Slot& slot = Find(path, std::hash<std::wstring_view>{}(path));
    if (slot.Taken) slot.Shown = true;
  }
  // False for a path never added.
  bool Shown(std::wstring_view path) {
    const Slot& slot = Find(path, std::hash<std::wstring_view>{}(path));
    return slot.Taken && slot.Shown;
  }

 private:
  struct Slot {
    std::size_t Hash = 0;
    std::wstring_view Path;
    bool Taken = false;
    bool Shown = false;
  };

  // The slot holding `path`, or the free one where it would go.
  Slot& Find(std::wstring_view path, std::size_t hash) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    while (slots_[at].Taken && (slots_[at].Hash != hash || slots_[at].Path != path))
      at = (at + 1) & mask;
    return slots_[at];
  }

  std::vector<Slot> slots_;
};

// A new image at its default placement, with a file: aligned unless the
// file is not new to the scene.
bool MayBeAligned(const SurveyRecord& record) {
  return record.IsImage && record.IsDefaultPlacement && !record.FilePath.empty();
}

// The new objects to align. Every other new object becomes known at once.
std::set<ObjectId> PickCandidates(const std::vector<SurveyRecord>& records, ObjectIdSet& known) {
  // Judged against the registry as the scan found it; the last loop adds to it.
  std::vector<std::uint8_t> wasKnown(records.size());
  std::vector<std::size_t> fresh;  // the other records, in walk order
  for (std::size_t i = 0; i < records.size(); ++i) {
    wasKnown[i] = known.contains(records[i].Id) ? 1 : 0;
    if (wasKnown[i] == 0) fresh.push_back(i);
  }

  const bool automatic = state::Settings.Auto;
  NewImageFiles files(automatic ? fresh.size() : 0);
  bool anyPossible = false;
  for (std::size_t i : fresh) {
    if (automatic && MayBeAligned(records[i])) {
      files.Add(records[i].FilePath);
      anyPossible = true;
    }
  }
  if (anyPossible) {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (wasKnown[i] != 0 && records[i].IsImage) files.MarkShown(records[i].FilePath);
    }
  }

  std::set<ObjectId> candidates;
  for (std::size_t i : fresh) {
    const SurveyRecord& record = records[i];
    // Another object with the same id, judged earlier in this loop.
    if (known.contains(record.Id)) continue;
    if (automatic && MayBeAligned(record) && !files.Shown(record.FilePath)) {
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

  std::vector<SurveyRecord>& records = state::SurveyRecords;
  TextArena& texts = state::SurveyTexts;
  records.clear();
  texts.Clear();
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
