// The scan behind automatic alignment.
#include "detect/scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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

// A new image at its default placement, with a file: aligned unless the
// file is not new to the scene.
bool MayBeAligned(const SurveyRecord& record) {
  return record.IsImage && record.IsDefaultPlacement && !record.FilePath.empty();
}

// The files of the new images that may be aligned, each marked once a known
// image turns out to show it too. Only these few paths go in; every known
// image's path is merely looked up, which costs a quick key and, for the few
// that pass it, a hash and a probe, instead of an entry in a set as large as
// the scene. Open addressing with linear probing, at most half the slots
// taken, 16 bytes a slot: a larger table is more fresh memory to fault in on
// every scan.
class NewImageFiles {
 public:
  NewImageFiles(const std::vector<SurveyRecord>& records, std::size_t count) : records_(records) {
    std::size_t slots = 16;
    while (slots < count * 2)
      slots *= 2;
    slots_.resize(slots);
  }

  void Add(std::size_t record) {
    const std::wstring_view path = records_[record].FilePath;
    const std::uint32_t quick = QuickKey(path);
    quickKeys_[quick / 64] |= std::uint64_t{1} << (quick % 64);
    const std::uint64_t hash = HashOf(path);
    Slot& slot = slots_[Find(path, hash)];
    slot.Hash = hash;
    slot.Record = static_cast<std::uint32_t>(record);
  }
  void MarkShown(std::wstring_view path) {
    const std::uint32_t quick = QuickKey(path);
    if ((quickKeys_[quick / 64] >> (quick % 64) & 1) == 0) return;
    Slot& slot = slots_[Find(path, HashOf(path))];
    if (slot.Hash != kFree) slot.Shown = true;
  }
  // False for a path never added.
  bool Shown(std::wstring_view path) const {
    const Slot& slot = slots_[Find(path, HashOf(path))];
    return slot.Hash != kFree && slot.Shown;
  }

 private:
  struct Slot {
    std::uint64_t Hash = kFree;
    std::uint32_t Record = 0;  // the first record added with the path
    bool Shown = false;
  };
  static constexpr std::uint64_t kFree = 0;

  // A first look that is cheaper than the full hash and probe, and tells
  // most known images' files from the few new ones: a bit per key made of the
  // path's length and its last 8 code units. Equal paths have equal keys.
  static constexpr int kQuickBits = 16;
  static std::uint32_t QuickKey(std::wstring_view path) {
    constexpr std::size_t kTailUnits = 8;
    std::uint64_t tail[2] = {0, 0};
    static_assert(sizeof tail == kTailUnits * sizeof(wchar_t));
    const std::size_t units = std::min(path.size(), kTailUnits);
    if (units != 0) std::memcpy(tail, path.data() + path.size() - units, units * sizeof(wchar_t));
    const std::uint64_t mixed =
        (tail[0] * 0x9E3779B97F4A7C15ull) ^ (tail[1] * 0xC2B2AE3D27D4EB4Full) ^ path.size();
    return static_cast<std::uint32_t>((mixed * 0x165667B19E3779F9ull) >> (64 - kQuickBits));
  }

  static std::uint64_t HashOf(std::wstring_view path) {
    const std::uint64_t hash = std::hash<std::wstring_view>{}(path);
    return hash == kFree ? 1 : hash;
  }
  // The slot holding `path`, or the free one where it would go.
  std::size_t Find(std::wstring_view path, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = static_cast<std::size_t>(hash) & mask;
    while (slots_[at].Hash != kFree &&
           (slots_[at].Hash != hash || records_[slots_[at].Record].FilePath != path))
      at = (at + 1) & mask;
    return at;
  }

  const std::vector<SurveyRecord>& records_;
  std::vector<Slot> slots_;
  std::vector<std::uint64_t> quickKeys_ = std::vector<std::uint64_t>((1u << kQuickBits) / 64);
};

// The records whose ids the registry does not hold yet, in walk order.
std::vector<std::size_t> UnknownRecords(const std::vector<SurveyRecord>& records,
                                        const ObjectIdSet& known) {
  // A large registry is mostly out of the cache: the slot of the id a few
  // records on is loaded while this one is looked up.
  constexpr std::size_t kAhead = 16;
  std::vector<std::size_t> unknown;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i + kAhead < records.size()) known.prefetch(records[i + kAhead].Id);
    if (!known.contains(records[i].Id)) unknown.push_back(i);
  }
  return unknown;
}

// The new objects to align. Every other new object becomes known at once.
std::set<ObjectId> PickCandidates(const std::vector<SurveyRecord>& records, ObjectIdSet& known) {
  // Judged against the registry as the scan found it; the last loop adds to it.
  const std::vector<std::size_t> fresh = UnknownRecords(records, known);
  const bool automatic = state::Settings.Auto;
  std::size_t possible = 0;
  for (std::size_t i : fresh)
    possible += automatic && MayBeAligned(records[i]) ? 1 : 0;
  NewImageFiles files(records, possible);
  for (std::size_t i : fresh) {
    if (automatic && MayBeAligned(records[i])) files.Add(i);
  }
  if (possible != 0) {
    // Every record not in `fresh` (which ascends) was known.
    std::size_t next = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (next < fresh.size() && fresh[next] == i) {
        ++next;
      } else if (records[i].IsImage) {
        files.MarkShown(records[i].FilePath);
      }
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

// The pass over the candidates, inside RunEdit; they become known once it
// has run. False when the host refused it.
bool AlignCandidates(EditHandle* edit, const TimelineInfo& info, ScanContext& context,
                     ObjectIdSet& known, const std::set<ObjectId>& candidates) {
  state::PendingObjects = candidates;
  state::PendingSceneFormat = SceneFormatOf(info);
  context.PendingObjects = &state::PendingObjects;
  context.Format = &state::PendingSceneFormat;
  const bool aligned = edit->RunEdit(&AlignPendingPass) != 0;
  if (!context.StillCurrent()) return true;
  if (!aligned) return false;
  // `known` is still valid: nothing has touched the registry since the lookup.
  for (ObjectId id : candidates)
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

  // The records' paths are views into `texts`, which outlives them; both are
  // the scan's own and go when it ends.
  TextArena texts;
  std::vector<SurveyRecord> records;
  context.SurveyLastLayer = info.LastLayer;
  context.SurveyList = &records;
  context.SurveyTexts = &texts;
  const bool surveyed = edit->RunRead(&SurveyTimeline) != 0;
  // The survey's only while RunRead runs.
  context.SurveyList = nullptr;
  context.SurveyTexts = nullptr;
  if (!context.StillCurrent()) return true;
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
  return AlignCandidates(edit, info, context, known, candidates);
}

}  // namespace velmora
