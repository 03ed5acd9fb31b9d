// Shows the settings dialog of the built module for a few seconds, for
// screenshots: loads Velmora.aux2 from beside this program into a temporary
// folder (so no settings file is left behind), starts it against the
// simulated host and opens the configuration-menu entry. Once the dialog is
// on screen it prints "dialog LEFT TOP WIDTH HEIGHT" (screen pixels) and
// cancels it after the given number of milliseconds (default 5000).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/module_fixture.h"

namespace {

DWORD g_holdMs = 5000;
DWORD g_shownAt = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = FindWindowW(L"#32770", L"Velmora の設定");
  if (dialog == nullptr || !IsWindowVisible(dialog)) return;
  if (g_shownAt == 0) {
    RECT r{};
    GetWindowRect(dialog, &r);
    std::printf("dialog %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
    g_shownAt = GetTickCount();
  } else if (GetTickCount() - g_shownAt >= g_holdMs) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_holdMs = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  testsupport::InstalledModule installed;
  hostsim::Host host;
  if (!installed.Load() || !installed.Module().Start(host)) {
    std::fprintf(stderr, "cannot start the module: %s\n", installed.Module().Error().c_str());
    return 1;
  }
  HWND owner = CreateWindowExW(0, L"STATIC", L"Velmora", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetTimer(nullptr, 0, 100, &Tick);
  auto result = host.OpenConfigMenu(owner);
  DestroyWindow(owner);
  return result && *result == IDCANCEL ? 0 : 1;
}
