// The two ways images get aligned: the automatic pass over the objects a scan
// found, and the object-menu command over the user's selection.
#pragma once

#include <cstdint>
#include <set>

#include "plugin/host_api.h"

namespace velmora {

inline constexpr const wchar_t* kPendingPassMessage = L"貼った画像を %d 個揃えました";
inline constexpr const wchar_t* kSelectedCommandMessage = L"選んだ画像を %d 個揃えました";

struct SceneFormat {
  std::int32_t Width;
  std::int32_t Height;
  std::int32_t Rate;
  std::int32_t Scale;
};

// Ids the next automatic pass is to align; replaced whole by each scan that
// finds candidates, read by the pass. UI thread only.
std::set<ObjectId>& PendingObjects();
// The format the automatic pass fits with; written by the scan just before it.
SceneFormat& PendingSceneFormat();

SceneFormat SceneFormatOf(const TimelineInfo& info);

// RunEdit callback of the scan.
void VELMORA_HOSTCALL AlignPendingPass(TimelineAccess* access);
// Object-menu handler.
void VELMORA_HOSTCALL AlignSelectedCommand(TimelineAccess* access);

}  // namespace velmora
