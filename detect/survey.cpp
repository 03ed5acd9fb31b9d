// Listing the timeline's objects for the scan, without changing anything.
#include "detect/survey.h"

#include <cmath>

#include "plugin/decimal_text.h"
#include "plugin/guard.h"
#include "plugin/host_names.h"
#include "plugin/state.h"
#include "plugin/timeline.h"

namespace velmora {
namespace {

SurveyRecord BuildRecord(TimelineAccess* access, ObjectHandle object, TextArena& texts) {
  SurveyRecord record{access->GetObjectId(object), false, false, std::wstring_view()};
  if (!IsImageObject(access, object)) return record;
  record.IsImage = true;
  record.IsDefaultPlacement = IsDefaultPlacement(access, object);
  // Known images' paths matter too, default placement or not.
  record.FilePath = ImageFilePath(access, object, texts);
  return record;
}

}  // namespace

void VELMORA_HOSTCALL SurveyTimeline(TimelineAccess* access) {
  ScanContext* scan = state::Scan;
  if (scan == nullptr || scan->SurveyList == nullptr || scan->SurveyTexts == nullptr) return;
  // A survey cut short (out of memory) is not a list to judge objects by.
  if (!RunGuarded([&] {
        SurveyWalk(access, scan->SurveyLastLayer, *scan->SurveyList, *scan->SurveyTexts);
      })) {
    scan->SurveyList->clear();
    scan->SurveyTexts->Clear();
    scan->SurveyFailed = true;
  }
}

void SurveyWalk(TimelineAccess* access, std::int32_t lastLayer, std::vector<SurveyRecord>& records,
                TextArena& texts) {
  ForEachObject(access, lastLayer, [&](ObjectHandle object) {
    records.push_back(BuildRecord(access, object, texts));
  });
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
