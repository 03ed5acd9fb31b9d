// Main of the dialog tests: they open real windows, so without a display the
// program reports itself skipped and CTest lists the test as not run.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/crash.h"
#include "tests/support/display.h"

namespace {

// Under Wine on a bare X server (no window manager) every closing top-level
// window waits two seconds for a manager to acknowledge it. Windows that Wine
// does not hand to a manager close at once; the setting applies to this
// program only and means nothing outside Wine.
void UnmanagedWindowsUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring exe = path;
  exe = exe.substr(exe.find_last_of(L"\\/") + 1);
  std::wstring key = L"Software\\Wine\\AppDefaults\\" + exe + L"\\X11 Driver";
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests opens no window, and CTest lists them on any machine.
  if (!GTEST_FLAG_GET(list_tests) && !testsupport::HasDisplay()) {
    std::printf("skipped: needs a display (run under xvfb-run)\n");
    return testsupport::kSkippedExitCode;
  }
  testsupport::FailOnCrash();
  UnmanagedWindowsUnderWine();
  return RUN_ALL_TESTS();
}
