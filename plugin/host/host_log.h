// Lines for the user in the host's log. They go to the logger the host gave
// to InitializeLogger, and nowhere when it gave none, or when the lifetime
// they were written for is over: the next lifetime's log is not theirs.
#pragma once

#include "plugin/host/lifetime.h"

namespace velmora {

// A result, e.g. how many images a pass aligned.
void LogInfo(const Lifetime& of, const wchar_t* text);
// A failure the user should know of.
void LogWarn(const Lifetime& of, const wchar_t* text);

}  // namespace velmora
