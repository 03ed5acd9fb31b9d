// Lines for the user in the host's log. They go to the logger the host gave
// to InitializeLogger, and nowhere when it gave none.
#pragma once

namespace velmora {

// A result, e.g. how many images a pass aligned.
void LogInfo(const wchar_t* text);
// A failure the user should know of.
void LogWarn(const wchar_t* text);

}  // namespace velmora
