// Makes a crash fail the test program. Under Wine, an exception that escapes
// a window procedure ends the process with exit code 0 once the debugger has
// printed it, which CTest would count as a pass.
#pragma once

#include <windows.h>

#include <cstdio>

namespace testsupport {

inline LONG WINAPI ExitOnCrash(EXCEPTION_POINTERS* crash) {
  std::fprintf(stderr, "test program crashed: exception 0x%08lx at %p\n",
               static_cast<unsigned long>(crash->ExceptionRecord->ExceptionCode),
               crash->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

inline void FailOnCrash() { SetUnhandledExceptionFilter(&ExitOnCrash); }

}  // namespace testsupport
