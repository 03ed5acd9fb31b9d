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
// as the host's own texts, each as the bytes between what it shares with
// the one before it at its start and at its end (images of one folder share
// their path and mostly their extension), and converted only when looked
// at: a scan with no new image to align converts none.
class KnownImageFiles {
 public:
  // The host's text; nothing for a null or empty one.
  void Add(const char* text);
  // Calls visit(text) for each text added, in order; the view is followed
  // by a NUL.
  void ForEach(const std::function<void(std::string_view)>& visit) const;
  std::size_t size() const { return count_; }

 private:
  struct Block {
    std::unique_ptr<std::uint8_t[]> Bytes;
    std::size_t Capacity = 0;
    std::size_t Used = 0;
  };
  // Room for `bytes` more in the last block, or in a new one.
  std::uint8_t* Room(std::size_t bytes);

  std::vector<Block> blocks_;
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
