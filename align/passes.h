// The two ways images get aligned: the automatic pass over the objects a scan
// found, and the object-menu command over the user's selection.
#pragma once

#include "plugin/host/host_api.h"

namespace velmora {

inline constexpr const wchar_t* kPendingPassMessage = L"貼った画像を %d 個揃えました";
inline constexpr const wchar_t* kSelectedCommandMessage = L"選んだ画像を %d 個揃えました";

// RunEdit callback of the scan: fits the objects whose ids the running scan's
// context (state::Scan) holds, with its format. Does nothing without them.
void VELMORA_HOSTCALL AlignPendingPass(TimelineAccess* access);
// Object-menu handler.
void VELMORA_HOSTCALL AlignSelectedCommand(TimelineAccess* access);

}  // namespace velmora
