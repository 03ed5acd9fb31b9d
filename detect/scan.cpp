// The scan behind automatic alignment.
#include "detect/scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "align/passes.h"
#include "detect/survey.h"
#include "plugin/object_id_set.h"
#include "plugin/state.h"

namespace velmora {
namespace {

// First visit of a scene: learn what is there, align nothing.
void LearnBaseline(std::uint32_t sceneKey, const std::deque<SurveyRecord>& records) {
  auto& baseline = state::KnownObjects[sceneKey];
  baseline.reserve(records.size());
  for (const SurveyRecord& record : records)
    baseline.insert(record.Id);
}

// The files of the new images that may be aligned, each marked once a known
// image turns out to show it too. Only these few paths go in; every known
// image's path is merely looked up, which costs a quick key and, for the few
// that pass it, a hash and a probe. Open addressing with linear probing, at
// most half the slots taken, 8 bytes a slot: a larger table is more fresh
// memory to fault in on every scan. Takes no memory when there are none.
class NewImageFiles {
 public:
  explicit NewImageFiles(const std::deque<SurveyRecord>& records) : records_(records) {
    std::size_t count = 0;
    for (const SurveyRecord& record : records)
      count += record.AlignableFile != nullptr ? 1 : 0;
    if (count == 0) return;
    std::size_t slots = 16;
    while (slots < count * 2)
      slots *= 2;
    slots_.resize(slots);
    // About 64 bits a file: few known images' files pass the quick key.
    std::size_t bits = 512;
    while (bits < count * 64 && bits < kMostQuickBits)
      bits *= 2;
    quickKeys_.resize(bits / 64);
    while (bits > 1) {
      bits /= 2;
      --quickShift_;
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].AlignableFile != nullptr) Add(i);
    }
  }

  bool empty() const { return slots_.empty(); }
  void MarkShown(std::wstring_view path) {
    const std::uint32_t quick = QuickKey(path);
    if ((quickKeys_[quick / 64] >> (quick % 64) & 1) == 0) return;
    Slot& slot = slots_[Find(path, HashOf(path))];
    if (slot.Tag != kFree) slot.Record |= kShown;
  }
  // False for a path never added.
  bool Shown(std::wstring_view path) const {
    const Slot& slot = slots_[Find(path, HashOf(path))];
    return slot.Tag != kFree && (slot.Record & kShown) != 0;
  }

 private:
  struct Slot {
    std::uint32_t Tag = kFree;  // the path's hash, its high half
    std::uint32_t Record = 0;   // the first record added with the path, and kShown
  };
  static constexpr std::uint32_t kFree = 0;
  static constexpr std::uint32_t kShown = std::uint32_t{1} << 31;
  static constexpr std::size_t kMostQuickBits = std::size_t{1} << 16;

  void Add(std::size_t record) {
    const std::wstring_view path = records_[record].AlignableFile;
    const std::uint32_t quick = QuickKey(path);
    quickKeys_[quick / 64] |= std::uint64_t{1} << (quick % 64);
    const std::uint64_t hash = HashOf(path);
    Slot& slot = slots_[Find(path, hash)];
    if (slot.Tag != kFree) return;
    slot.Tag = TagOf(hash);
    slot.Record = static_cast<std::uint32_t>(record);
  }
  std::wstring_view FileOf(const Slot& slot) const {
    return records_[slot.Record & ~kShown].AlignableFile;
  }

  // A first look that is cheaper than the full hash and probe, and tells
  // most known images' files from the few new ones: a bit per key made of the
  // path's length and its last 8 code units. Equal paths have equal keys.
  std::uint32_t QuickKey(std::wstring_view path) const {
    constexpr std::size_t kTailUnits = 8;
    std::uint64_t tail[2] = {0, 0};
    static_assert(sizeof tail == kTailUnits * sizeof(wchar_t));
    const std::size_t units = std::min(path.size(), kTailUnits);
    if (units != 0) std::memcpy(tail, path.data() + path.size() - units, units * sizeof(wchar_t));
    const std::uint64_t mixed =
        (tail[0] * 0x9E3779B97F4A7C15ull) ^ (tail[1] * 0xC2B2AE3D27D4EB4Full) ^ path.size();
    return static_cast<std::uint32_t>((mixed * 0x165667B19E3779F9ull) >> quickShift_);
  }

  static std::uint64_t HashOf(std::wstring_view path) {
    return std::hash<std::wstring_view>{}(path);
  }
  static std::uint32_t TagOf(std::uint64_t hash) {
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    return tag == kFree ? 1 : tag;
  }
  // The slot holding `path`, or the free one where it would go: its low
  // half picks the first slot to look at.
  std::size_t Find(std::wstring_view path, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t tag = TagOf(hash);
    std::size_t at = static_cast<std::size_t>(hash) & mask;
    while (slots_[at].Tag != kFree && (slots_[at].Tag != tag || FileOf(slots_[at]) != path))
      at = (at + 1) & mask;
    return at;
  }

  const std::deque<SurveyRecord>& records_;
  std::vector<Slot> slots_;
  std::vector<std::uint64_t> quickKeys_;
  int quickShift_ = 64;  // 64 less log2 of the quick keys' bits
};

// The new objects to align. Every other new object becomes known at once.
std::set<ObjectId> PickCandidates(const SurveyFindings& survey, ObjectIdSet& known) {
  const bool automatic = state::Settings.Auto;
  NewImageFiles files(survey.NewObjects);
  if (automatic && !files.empty())
    survey.KnownFiles.ForEach([&](std::wstring_view path) { files.MarkShown(path); });

  std::set<ObjectId> candidates;
  for (const SurveyRecord& record : survey.NewObjects) {
    // Another object with the same id, judged earlier in this loop.
    if (known.contains(record.Id)) continue;
    if (automatic && record.AlignableFile != nullptr && !files.Shown(record.AlignableFile)) {
      candidates.insert(record.Id);
    } else {
      known.insert(record.Id);
    }
  }
  return candidates;
}

// The pass over the candidates, inside RunEdit; they become known once it
// has run. False when the host refused it.
bool AlignCandidates(EditHandle* edit, const TimelineInfo& info, ScanContext& context,
                     ObjectIdSet& known, std::set<ObjectId> candidates) {
  state::PendingObjects = std::move(candidates);
  state::PendingSceneFormat = SceneFormatOf(info);
  context.PendingObjects = &state::PendingObjects;
  context.Format = &state::PendingSceneFormat;
  const bool aligned = edit->RunEdit(&AlignPendingPass) != 0;
  if (!context.StillCurrent()) return true;
  if (!aligned) return false;
  // `known` is still valid: nothing has touched the registry since the
  // lookup, and the pass only reads the candidates.
  for (ObjectId id : state::PendingObjects)
    known.insert(id);
  return true;
}

}  // namespace

bool RunScan() {
  EditHandle* edit = state::Edit;
  if (edit == nullptr) return true;

  if (state::ResetPending.exchange(0) != 0) state::KnownObjects.clear();

  // The host callbacks find this context through state::Scan until RunScan
  // returns, whichever way it does.
  ScanContext context;
  ScanScope scope(context);
  TimelineInfo info{};
  edit->QueryTimelineInfo(&info, sizeof info);
  if (!context.StillCurrent()) return true;
  // Judged as it stands, a timeline the host did not describe would get a
  // baseline under the wrong scene and candidates fitted to nothing, which
  // would then count as known for good. Asked again later instead.
  if (!DescribesAScene(info)) return false;

  auto found = state::KnownObjects.find(info.SceneKey);
  ObjectIdSet* known = found == state::KnownObjects.end() ? nullptr : &found->second;
  // The scan's own; it goes when the scan ends.
  SurveyFindings survey;
  context.SurveyLastLayer = info.LastLayer;
  context.SurveyKnown = known;
  context.Survey = &survey;
  const bool surveyed = edit->RunRead(&SurveyTimeline) != 0;
  // The survey's only while RunRead runs.
  context.Survey = nullptr;
  context.SurveyKnown = nullptr;
  if (!context.StillCurrent()) return true;
  if (!surveyed) return false;
  // Not repeated: the next host event brings a new scan.
  if (context.SurveyFailed) return true;

  if (known == nullptr) {
    LearnBaseline(info.SceneKey, survey.NewObjects);
    return true;
  }
  std::set<ObjectId> candidates = PickCandidates(survey, *known);
  if (candidates.empty()) return true;
  return AlignCandidates(edit, info, context, *known, std::move(candidates));
}

}  // namespace velmora
