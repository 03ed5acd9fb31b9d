// The read-only survey: one record per timeline object, in walk order. The
// record, SurveyRecord, is in plugin/state.h, beside the scan context that carries the list.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/host_api.h"
#include "plugin/host_text.h"
#include "plugin/state.h"

namespace velmora {

// RunRead callback: walks layers 0..SurveyLastLayer of the running scan's
// context (state::Scan) into its SurveyList and SurveyTexts. Does nothing
// without them; sets SurveyFailed, with both emptied, when it could not
// finish.
void VELMORA_HOSTCALL SurveyTimeline(TimelineAccess* access);
void SurveyWalk(TimelineAccess* access, std::int32_t lastLayer, std::vector<SurveyRecord>& records,
                TextArena& texts);

// X 0, Y 0, zoom 100 and aspect 0, asked in that order up to the first that
// fails (only meaningful for an image object).
bool IsDefaultPlacement(TimelineAccess* access, ObjectHandle object);
// Whether a standard-drawing item reads, wholly, as a number within 1e-6 of
// `target`.
bool ItemEquals(TimelineAccess* access, ObjectHandle object, const wchar_t* item, double target);
// The same test on a text, which must be wholly one number.
bool NumberTextEquals(const char* text, double target);

}  // namespace velmora
