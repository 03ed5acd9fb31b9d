// Tests that open windows on screen need an X display under Wine.
#pragma once

namespace testsupport {

// True when windows can be shown (an X display is reachable).
bool HasDisplay();
// Exit code by which a test program tells CTest that it was skipped.
inline constexpr int kSkippedExitCode = 77;

}  // namespace testsupport
