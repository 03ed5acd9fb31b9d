// One scan: survey the timeline, compare with what each scene already holds,
// and have newly pasted images aligned.
#pragma once

namespace velmora {

// Runs on the message window's thread, one at a time. Reads state::Edit and
// state::Settings.Auto; empties state::KnownObjects first when
// state::ResetPending is set, learns into it, and hands the pass its
// candidates through state::PendingObjects and state::PendingSceneFormat.
// False when the host refused a callback and the scan must be repeated.
bool RunScan();

}  // namespace velmora
