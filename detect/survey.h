// The read-only survey: it walks the timeline once and keeps only what the
// scan will judge, deciding as it goes whether each object is new to the
// scene. What it keeps is what the same-file rule needs and no more, because
// every byte of it is memory a scan takes fresh: the new objects, the files
// of the new images that may be aligned, and the files of the known images,
// coded against each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "detect/object_id_set.h"
#include "plugin/host/block_arena.h"
#include "plugin/host/host_api.h"
#include "plugin/host/host_text.h"

namespace velmora {

// An object whose id the scene's registry did not hold when the scan began.
struct SurveyRecord {
  ObjectId Id;
  // The file of an image at its default placement with a path: the pass may
  // align it. Null for every other object, and in a scene's first survey.
  // Kept in SurveyFindings::NewFiles, terminated.
  const wchar_t* AlignableFile;
};

// The image files of the known images, in walk order, for the same-file
// rule, which only needs each found again among the new images' files. Kept
// as the host's own texts, front-coded: each as the length it shares with
// the one before at its start, the length it shares at its end (images of
// one folder share their path and mostly their extension), both LEB128
// varints, and the bytes between; converted only when looked at, so that a
// scan with no new image to align converts none. Why this is ours: no
// standard container keeps strings coded against each other, and a vector
// of strings would take a block of its own per path on every scan.
class KnownImageFiles {
 public:
  // The host's text; nothing for a null or empty one.
  void Add(const char* text);
  // Calls visit(text) for each text added, in order; the view is followed
  // by a NUL.
  void ForEach(const std::function<void(std::string_view)>& visit) const;
  std::size_t size() const { return count_; }

 private:
  // From a kilobyte up to 64 KB: a small scene takes little, a large one no
  // copying as it grows.
  BlockArena<std::uint8_t> bytes_{1024, std::size_t{64} * 1024};
  std::string last_;  // the text added last
  std::size_t count_ = 0;
};

// What one survey keeps; the scan's own, gone when it ends.
struct SurveyFindings {
  std::deque<SurveyRecord> NewObjects;  // in walk order, an id twice if listed twice
  TextArena NewFiles;                   // the records' AlignableFile texts
  KnownImageFiles KnownFiles;           // empty in a scene's first survey
};

// What one survey walks and where it keeps what it finds; the scan's own,
// lent to the RunRead callback (plugin/host/timeline.h).
struct SurveyJob {
  std::int32_t LastLayer;    // layers 0..LastLayer are walked
  const ObjectIdSet* Known;  // the scene's registry; null on its first look
  SurveyFindings* Findings;
  bool Failed = false;  // it could not finish (out of memory): nothing to judge by
  bool Taken = false;
};

// RunRead callback: walks the lent job's layers into its findings, judging
// each id against its registry as it goes. Does nothing without a job.
void VELMORA_HOSTCALL SurveyTimeline(TimelineAccess* access);

// X 0, Y 0, zoom 100 and aspect 0, asked in that order up to the first that
// fails (only meaningful for an image object).
bool IsDefaultPlacement(TimelineAccess* access, ObjectHandle object);
// Whether a standard-drawing item reads, wholly, as a number within 1e-6 of
// `target`.
bool ItemEquals(TimelineAccess* access, ObjectHandle object, const wchar_t* item, double target);
// The same test on a text, which must be wholly one number.
bool NumberTextEquals(const char* text, double target);

}  // namespace velmora
