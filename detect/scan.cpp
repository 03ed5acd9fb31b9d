// The scan behind automatic alignment.
//
// Why the scan keeps so little. Every scan walks the whole timeline, and in
// the host's process a page of fresh memory costs more than the work done on
// it: a survey that listed every object as a record with its converted path
// took 77 bytes per object afresh on each scan, and made the survey half as
// slow again as a bare walk at 100,000 objects. So the survey judges each id
// against the scene's registry as it walks, and keeps only what the
// same-file rule needs: the new objects, 16 bytes each; the files of those
// that may be aligned; and the known images' files as the host's own bytes,
// front-coded (detect/survey.h). After the walk a known file is converted
// only when a key of its bytes passes a Bloom filter of the new images'
// files. That brought the scan's fresh memory to about 6 bytes per object,
// and its cost beyond a bare walk, the pass aside, to under 10 %
// (docs/benchmark.md).
#include "detect/scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "align/passes.h"
#include "detect/detect_state.h"
#include "detect/object_id_set.h"
#include "detect/open_addressing.h"
#include "detect/survey.h"
#include "plugin/host/host_state.h"
#include "plugin/host/host_text.h"
#include "plugin/host/lifetime.h"
#include "plugin/host/timeline.h"
#include "settings/settings.h"

namespace velmora {
namespace {

// First visit of a scene: learn what is there, align nothing.
void LearnBaseline(std::uint32_t sceneKey, const std::deque<SurveyRecord>& records) {
  auto& baseline = state::KnownObjects[sceneKey];
  baseline.reserve(records.size());
  for (const SurveyRecord& record : records)
    baseline.insert(record.Id);
}

// A key made of a text's length and its last 8 units, wide or bytes alike:
// equal texts have equal keys.
template <typename Unit>
std::uint64_t TailKey(const Unit* text, std::size_t length) {
  constexpr std::size_t kTailUnits = 8;
  std::uint64_t tail[2] = {0, 0};
  static_assert(sizeof tail >= kTailUnits * sizeof(Unit));
  const std::size_t units = std::min(length, kTailUnits);
  if (units != 0) std::memcpy(tail, text + length - units, units * sizeof(Unit));
  return ((tail[0] * 0x9E3779B97F4A7C15ull) ^ (tail[1] * 0xC2B2AE3D27D4EB4Full) ^ length) *
         0x165667B19E3779F9ull;
}

// True when a lead byte among the text's last three needs more bytes than
// follow it, whatever they are: the platform may then take them all with the
// terminator (see TerminateAtTheCount) instead of writing U+FFFD for them.
bool EndsInACutCharacter(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    const std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (needed > back) return true;
  }
  return false;
}

// A Bloom filter with one hash function (the key's top bits), about 64 bits
// a file: a first look, far cheaper than a conversion or a hash and a probe,
// that tells most known images' files from the few new ones. It may say yes
// wrongly, never no. Why this is ours: the standard library has no such
// filter; its packed bits hold this one.
class KeyBits {
 public:
  explicit KeyBits(std::size_t files) {
    std::size_t bits = 512;
    while (bits < files * 64 && bits < (std::size_t{1} << 16))
      bits *= 2;
    bits_.resize(bits);
    shift_ = 64 - std::countr_zero(bits);
  }
  void Set(std::uint64_t key) { bits_[static_cast<std::size_t>(key >> shift_)] = true; }
  bool Has(std::uint64_t key) const { return bits_[static_cast<std::size_t>(key >> shift_)]; }

 private:
  std::vector<bool> bits_;  // the standard library's packed bits
  int shift_;               // 64 less log2 of the bits
};

// The files of the new images that may be aligned, each marked once a known
// image turns out to show it too: a hash table with open addressing
// (detect/open_addressing.h). Only these few paths go in; every known
// image's file is merely looked up: a key of its bytes first, then, for the
// few that pass, its conversion, a key of that, a hash and a probe. A slot's
// word is the path's hash, its high half, beside the first record added with
// it and a mark, where std::unordered_map would take a node per path and a
// copy of it; at most half the slots are taken: a larger table is more fresh
// memory to fault in on every scan. Built only when there are such files.
class NewImageFiles {
 public:
  NewImageFiles(const std::deque<SurveyRecord>& records, std::size_t count)
      : records_(records), keys_(count), byteKeys_(count) {
    std::size_t slots = 16;
    while (slots < count * 2)
      slots *= 2;
    slots_.Reset(slots);
    std::string bytes;
    for (std::size_t i = 0; i < records.size(); ++i) {
      const wchar_t* file = records[i].AlignableFile;
      if (file == nullptr) continue;
      Add(i);
      // The platform turns whatever is not valid UTF-8 into U+FFFD, and valid
      // UTF-8 converts one way only: a file without U+FFFD comes from its
      // UTF-8 bytes alone, and a known image's text that converts to it is
      // those bytes, or those bytes and a cut last character that the
      // conversion dropped. With one, any text might, and every one is
      // converted.
      const std::wstring_view path(file);
      byteKeysHold_ = byteKeysHold_ && path.find(L'\xFFFD') == std::wstring_view::npos;
      Utf8FromWide(path, bytes);
      byteKeys_.Set(TailKey(bytes.data(), bytes.size()));
    }
  }

  // A known image's file as the host's text, followed by a NUL.
  void MarkShown(std::string_view text) {
    if (byteKeysHold_ && !EndsInACutCharacter(text) &&
        !byteKeys_.Has(TailKey(text.data(), text.size())))
      return;
    const std::wstring_view path = converted_.AddWideFromUtf8(text.data());
    if (keys_.Has(TailKey(path.data(), path.size()))) {
      const std::size_t slot = Find(path);
      if (slots_[slot] != 0) slots_[slot] |= kShown;
    }
    converted_.Clear();
  }
  // False for a path never added.
  bool Shown(std::wstring_view path) const { return (slots_[Find(path)] & kShown) != 0; }

 private:
  static constexpr std::uint64_t kShown = std::uint64_t{1} << 31;

  void Add(std::size_t record) {
    const std::wstring_view path = records_[record].AlignableFile;
    keys_.Set(TailKey(path.data(), path.size()));
    const std::size_t slot = Find(path);
    if (slots_[slot] == 0) slots_[slot] = (HashOf(path) >> 32 << 32) | record;
  }
  // The slot holding `path`, or the free one where it would go. The hash's
  // high half is never 0 in a word, so no taken slot looks free.
  std::size_t Find(std::wstring_view path) const {
    const std::uint64_t hash = HashOf(path);
    return slots_.Find(hash, [&](std::uint64_t word) {
      return word >> 32 == hash >> 32 && records_[word & (kShown - 1)].AlignableFile == path;
    });
  }
  static std::uint64_t HashOf(std::wstring_view path) {
    const std::uint64_t hash = std::hash<std::wstring_view>{}(path);
    return hash >> 32 == 0 ? hash | (std::uint64_t{1} << 32) : hash;
  }

  const std::deque<SurveyRecord>& records_;
  OpenAddressing slots_;
  KeyBits keys_;      // of the files
  KeyBits byteKeys_;  // of their UTF-8 bytes
  bool byteKeysHold_ = true;
  TextArena converted_;  // the known image's file MarkShown is looking up
};

// The new objects to align. Every other new object becomes known at once.
std::set<ObjectId> PickCandidates(const SurveyFindings& survey, ObjectIdSet& known) {
  const bool automatic = state::Settings.Auto;
  std::size_t alignable = 0;
  for (const SurveyRecord& record : survey.NewObjects)
    alignable += record.AlignableFile != nullptr ? 1 : 0;
  std::optional<NewImageFiles> files;
  if (automatic && alignable != 0) {
    files.emplace(survey.NewObjects, alignable);
    survey.KnownFiles.ForEach([&](std::string_view text) { files->MarkShown(text); });
  }

  std::set<ObjectId> candidates;
  for (const SurveyRecord& record : survey.NewObjects) {
    // Another object with the same id, judged earlier in this loop.
    if (known.contains(record.Id)) continue;
    if (files && record.AlignableFile != nullptr && !files->Shown(record.AlignableFile)) {
      candidates.insert(record.Id);
    } else {
      known.insert(record.Id);
    }
  }
  return candidates;
}

// The pass over the candidates, inside RunEdit; they become known once it
// has run. False when the host refused it, or answered without running it.
bool AlignCandidates(EditHandle* edit, const FitJob& fit, ObjectIdSet& known,
                     const std::set<ObjectId>& candidates) {
  PendingPassJob job{&candidates, fit};
  const bool aligned = RunLending(edit->RunEdit, &AlignPendingPass, job);
  if (fit.BegunIn.Ended()) return true;
  if (!aligned) return false;
  for (ObjectId id : candidates)
    known.insert(id);
  return true;
}

}  // namespace

bool RunScan() {
  EditHandle* edit = state::Edit;
  if (edit == nullptr) return true;

  if (state::ResetPending.exchange(0) != 0) state::KnownObjects.clear();

  // The host may pump messages inside its calls and shut the plug-in down
  // there, or from another thread: a scan whose lifetime has ended starts
  // nothing more and keeps nothing of what it found.
  const Lifetime lifetime;
  // The window may have taken the request just before a shut-down on
  // another thread.
  if (lifetime.BeganShutDown()) return true;
  TimelineInfo info{};
  edit->QueryTimelineInfo(&info, sizeof info);
  if (lifetime.Ended()) return true;
  // Judged as it stands, a timeline the host did not describe would get a
  // baseline under the wrong scene and candidates fitted to nothing, which
  // would then count as known for good. Asked again later instead.
  if (!DescribesAScene(info)) return false;

  auto found = state::KnownObjects.find(info.SceneKey);
  ObjectIdSet* known = found == state::KnownObjects.end() ? nullptr : &found->second;
  // The scan's own; it goes when the scan ends.
  SurveyFindings survey;
  SurveyJob job{info.LastLayer, known, &survey};
  const bool surveyed = RunLending(edit->RunRead, &SurveyTimeline, job);
  if (lifetime.Ended()) return true;
  // A survey that never ran found nothing: taken as done, it would make the
  // scene's first look an empty one, and every image already there new.
  if (!surveyed) return false;
  // Not repeated: the next host event brings a new scan.
  if (job.Failed) return true;

  if (known == nullptr) {
    LearnBaseline(info.SceneKey, survey.NewObjects);
    return true;
  }
  const std::set<ObjectId> candidates = PickCandidates(survey, *known);
  if (candidates.empty()) return true;
  return AlignCandidates(edit, FitJob{SceneFormatOf(info), state::Settings, lifetime}, *known,
                         candidates);
}

}  // namespace velmora
