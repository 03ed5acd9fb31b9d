// Listing the timeline's objects for the scan, without changing anything.
#include "detect/survey.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "plugin/host_names.h"
#include "plugin/host_text.h"
#include "plugin/state.h"

namespace velmora {
namespace {

SurveyRecord BuildRecord(TimelineAccess* access, ObjectHandle object) {
  SurveyRecord record{access->GetObjectId(object), false, false, std::wstring()};
  if (access->EffectCount(object, kImageEffect) <= 0) return record;
  if (access->EffectCount(object, kDrawEffect) <= 0) return record;
  record.IsImage = true;
  record.IsDefaultPlacement =
      ItemEquals(access, object, kXItem, 0.0) && ItemEquals(access, object, kYItem, 0.0) &&
      ItemEquals(access, object, kZoomItem, 100.0) && ItemEquals(access, object, kAspectItem, 0.0);
  // Known images' paths matter too, default placement or not.
  record.FilePath = WideFromUtf8(access->GetItem(object, kImageEffect, kFileItem));
  return record;
}

}  // namespace

void VELMORA_HOSTCALL SurveyTimeline(TimelineAccess* access) {
  ScanContext* scan = state::Scan;
  if (scan == nullptr || scan->SurveyList == nullptr) return;
  // Called from the host's code: nothing may be thrown back into it. A
  // survey cut short (out of memory) is not a list to judge objects by.
  try {
    SurveyWalk(access, scan->SurveyLastLayer, *scan->SurveyList);
  } catch (...) {
    scan->SurveyList->clear();
    scan->SurveyFailed = true;
  }
}

void SurveyWalk(TimelineAccess* access, std::int32_t lastLayer,
                std::vector<SurveyRecord>& records) {
  for (std::int32_t layer = 0; layer <= lastLayer; ++layer) {
    std::int32_t from = 0;
    ObjectHandle object = access->ObjectAtOrAfter(layer, 0);
    while (object != nullptr) {
      std::int32_t last = access->GetSpan(object).LastFrame;
      records.push_back(BuildRecord(access, object));
      // No frame lies after INT32_MAX: asking from last + 1 would wrap to
      // the layer's start.
      if (last < from || last == std::numeric_limits<std::int32_t>::max()) break;
      from = last + 1;
      object = access->ObjectAtOrAfter(layer, from);
    }
    if (layer == std::numeric_limits<std::int32_t>::max()) break;
  }
}

bool NumberTextEquals(const char* text, double target) {
  if (text == nullptr) return false;
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0') return false;
  return std::fabs(value - target) < 0.000001;
}

bool ItemEquals(TimelineAccess* access, ObjectHandle object, const wchar_t* item, double target) {
  return NumberTextEquals(access->GetItem(object, kDrawEffect, item), target);
}

}  // namespace velmora
