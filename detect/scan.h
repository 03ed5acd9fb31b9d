// One scan: survey the timeline, compare with what each scene already holds,
// and have newly pasted images aligned.
#pragma once

namespace velmora {

// Runs on the message window's thread, one at a time. Reads state::Edit and
// state::Settings.Auto; empties state::KnownObjects first when
// state::ResetPending is set, learns into it, and lends the pass its own
// candidates and scene format. False when the host refused a callback, or
// answered without running it, and the scan must be repeated.
bool RunScan();

}  // namespace velmora
