// The message-only window that turns host events into scans.
//
// Handlers may run on any thread and only flip atomics and post; everything
// else runs on the window's thread, inside its procedure.
#include "detect/trigger.h"

#include "detect/detect_state.h"
#include "detect/scan.h"
#include "plugin/host/host_state.h"
#include "plugin/host/lifetime.h"

namespace velmora {
namespace {

void ScanNow(HWND window) {
  if (state::Scanning) {
    SetTimer(window, kRetryTimerId, kRetryDelayMs, nullptr);
    return;
  }
  state::Scanning = true;
  bool done = true;
  // A scan that ran out of memory is not retried.
  Enter([&] { done = RunScan(); });
  state::Scanning = false;
  if (!done) SetTimer(window, kRetryTimerId, kRetryDelayMs, nullptr);
}

}  // namespace

void CreateMessageWindow() {
  DestroyMessageWindow();
  // A request posted to an earlier window died with it.
  state::ScanPosted.exchange(0);
  WNDCLASSW wc{};
  wc.lpfnWndProc = &MessageWindowProc;
  wc.hInstance = state::ModuleInstance;
  wc.lpszClassName = kMessageWindowClass;
  if (RegisterClassW(&wc) != 0) state::MessageClassRegistered = true;
  HWND window = CreateWindowExW(0, kMessageWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                state::ModuleInstance, nullptr);
  state::MessageWindow.store(window);
}

namespace {

void DestroyOnOwnThread(HWND window) {
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    DestroyWindow(window);
    return;
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, kCloseRequest, 0, 0, SMTO_ABORTIFHUNG, kCloseTimeoutMs, &ignored);
  if (!IsWindow(window)) return;
  // The host may unload the module once UninitializePlugin returns: a window
  // that outlives the call would keep the module's procedure and timer.
  lifetime::PinModule();
  // A sent message that timed out may be dropped; a posted one waits for the
  // thread's loop, so the window still goes once its thread answers again.
  PostMessageW(window, kCloseRequest, 0, 0);
}

}  // namespace

void DestroyMessageWindow() {
  // Detached first: from here on the handlers post nothing and the old
  // window's procedure runs no scan.
  HWND window = state::MessageWindow.exchange(nullptr);
  if (window != nullptr) DestroyOnOwnThread(window);
  // Fails while the window still exists; it is tried again next time.
  if (state::MessageClassRegistered &&
      UnregisterClassW(kMessageWindowClass, state::ModuleInstance)) {
    state::MessageClassRegistered = false;
  }
}

void VELMORA_HOSTCALL RequestScan() {
  HWND window = state::MessageWindow.load();
  if (window == nullptr) return;
  if (state::ScanPosted.exchange(1) != 0) return;
  // A full queue drops the message; without clearing the flag no later event
  // would ever post again.
  if (!PostMessageW(window, kScanRequest, 0, 0)) state::ScanPosted.exchange(0);
}

void VELMORA_HOSTCALL RequestReset() {
  state::ResetPending.exchange(1);
  RequestScan();
}

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A window already let go of by DestroyMessageWindow scans nothing, whatever
  // reaches it before its own thread destroys it.
  const bool detached = window != state::MessageWindow.load();
  switch (message) {
    case kCloseRequest:
      if (!detached) return 0;
      KillTimer(window, kRetryTimerId);
      DestroyWindow(window);
      return 0;
    case WM_TIMER:
      if (wParam != kRetryTimerId) return 0;
      KillTimer(window, kRetryTimerId);
      if (!detached) ScanNow(window);
      return 0;
    case kScanRequest:
      if (detached) return 0;
      state::ScanPosted.exchange(0);
      ScanNow(window);
      return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace velmora
