// Listing the timeline's objects for the scan, without changing anything.
#include "detect/survey.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "plugin/host/decimal_text.h"
#include "plugin/host/host_names.h"
#include "plugin/host/lifetime.h"
#include "plugin/host/timeline.h"

namespace velmora {
namespace {

// A count is an unsigned LEB128 varint: 7 bits a byte, low bits first, the
// high bit set on every byte but the last; at most this many for a size_t.
constexpr std::size_t kLongestCount = 10;

std::uint8_t* PutCount(std::uint8_t* at, std::size_t count) {
  while (count >= 0x80) {
    *at++ = static_cast<std::uint8_t>(count | 0x80);
    count >>= 7;
  }
  *at++ = static_cast<std::uint8_t>(count);
  return at;
}

const std::uint8_t* GetCount(const std::uint8_t* at, std::size_t& count) {
  count = 0;
  int shift = 0;
  while ((*at & 0x80) != 0) {
    count |= static_cast<std::size_t>(*at++ & 0x7F) << shift;
    shift += 7;
  }
  count |= static_cast<std::size_t>(*at++) << shift;
  return at;
}

// Only the objects new to the scene are listed; a known image leaves its
// file. Host calls as the walk has always made them: the id, the effects,
// for an image its placement and its file.
void SurveyObject(TimelineAccess* access, ObjectHandle object, const SurveyJob& job) {
  SurveyFindings& found = *job.Findings;
  const ObjectIdSet* known = job.Known;
  const ObjectId id = access->GetObjectId(object);
  // Looked up after the object's other calls, by when its slot is loaded.
  if (known != nullptr) known->prefetch(id);
  const bool image = IsImageObject(access, object);
  const bool atDefault = image && IsDefaultPlacement(access, object);
  const char* file = image ? ImageFileText(access, object) : nullptr;
  if (known != nullptr && known->contains(id)) {
    found.KnownFiles.Add(file);
    return;
  }
  // A scene's first survey keeps no file.
  const std::wstring_view path =
      known != nullptr && atDefault ? found.NewFiles.AddWideFromUtf8(file) : std::wstring_view();
  found.NewObjects.push_back({id, path.empty() ? nullptr : path.data()});
}

void SurveyWalk(TimelineAccess* access, const SurveyJob& job) {
  ForEachObject(access, job.LastLayer,
                [&](ObjectHandle object) { SurveyObject(access, object, job); });
}

}  // namespace

void KnownImageFiles::Add(const char* text) {
  if (text == nullptr || *text == '\0') return;
  // What it shares with the last text at its start is found while walking
  // it: a text holds no NUL, so its end stops the walk too. One pass instead
  // of a length and a comparison; this runs for nearly every image of a scene.
  std::size_t head = 0;
  while (head < last_.size() && text[head] == last_[head])
    ++head;
  const std::size_t length = head + std::strlen(text + head);
  // And at its end (the extension, often a number's last digits), short of
  // what the start already shares.
  const std::size_t most = std::min(length, last_.size()) - head;
  std::size_t tail = 0;
  while (tail < most && text[length - 1 - tail] == last_[last_.size() - 1 - tail])
    ++tail;
  const std::string_view middle(text + head, length - head - tail);
  std::uint8_t* const room = bytes_.Room(3 * kLongestCount + middle.size());
  std::uint8_t* at = PutCount(PutCount(PutCount(room, head), tail), middle.size());
  std::memcpy(at, middle.data(), middle.size());
  bytes_.Take(static_cast<std::size_t>(at + middle.size() - room));
  last_.replace(head, last_.size() - head - tail, middle);
  ++count_;
}

void KnownImageFiles::ForEach(const std::function<void(std::string_view)>& visit) const {
  std::string text;
  bytes_.ForEachBlock([&](const std::uint8_t* at, std::size_t used) {
    const std::uint8_t* end = at + used;
    while (at != end) {
      std::size_t head = 0;
      std::size_t tail = 0;
      std::size_t middle = 0;
      at = GetCount(GetCount(GetCount(at, head), tail), middle);
      text.replace(head, text.size() - head - tail, reinterpret_cast<const char*>(at), middle);
      at += middle;
      visit(text);
    }
  });
}

void VELMORA_HOSTCALL SurveyTimeline(TimelineAccess* access) {
  SurveyJob* job = TakeLentJob<SurveyJob>();
  if (job != nullptr && !Enter([&] { SurveyWalk(access, *job); })) job->Failed = true;
}

bool NumberTextEquals(const char* text, double target) {
  if (text == nullptr) return false;
  const char* end = nullptr;
  const double value = DecimalValue(text, &end);
  if (end == text || *end != '\0') return false;
  return std::fabs(value - target) < 0.000001;
}

bool ItemEquals(TimelineAccess* access, ObjectHandle object, const wchar_t* item, double target) {
  return NumberTextEquals(access->GetItem(object, kDrawEffect, item), target);
}

bool IsDefaultPlacement(TimelineAccess* access, ObjectHandle object) {
  return ItemEquals(access, object, kXItem, 0.0) && ItemEquals(access, object, kYItem, 0.0) &&
         ItemEquals(access, object, kZoomItem, 100.0) &&
         ItemEquals(access, object, kAspectItem, 0.0);
}

}  // namespace velmora
