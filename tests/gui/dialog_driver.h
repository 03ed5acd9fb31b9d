// Drives the real settings dialog from inside its own modal loop: a thread
// timer, dispatched by that loop (and by the loop of any message box on top),
// runs a script of steps against the live windows and records what it saw.
// Assertions are made after the dialog has closed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace guitest {

// One step of a script. Returns true when it is done; false to be called
// again on the next tick (a step waiting for a window to appear).
class Driver;
using Step = std::function<bool(Driver&)>;

// A message box as a user sees it.
struct MessageBoxSeen {
  std::string caption;
  std::string text;
  bool exclamationIcon = false;
  std::vector<int> buttons;  // ids of the visible push buttons
};

class Driver {
 public:
  // A script that makes no progress for this long (a window that never
  // appears, a dialog that never closes) has its dialog ended, so a fault
  // fails the test instead of hanging it.
  static constexpr DWORD kDefaultTimeoutMs = 10000;
  static constexpr INT_PTR kTimedOutResult = 0x7E57;

  explicit Driver(std::vector<Step> steps, DWORD timeoutMs = kDefaultTimeoutMs);

  // Opens the dialog through the host's configuration menu over a fresh
  // owner window and runs the script until the dialog closes. Returns what
  // the menu handler returned.
  std::optional<std::intptr_t> Run(hostsim::Host& host);

  // ---- for steps ----
  HWND Dialog() const { return dialog_; }
  HWND Owner() const { return owner_; }
  void Fail(const std::string& what) { failures_.push_back(what); }

  // ---- after Run ----
  bool TimedOut() const { return timedOut_; }
  std::size_t StepsDone() const { return next_; }
  std::size_t StepCount() const { return steps_.size(); }
  const std::vector<std::string>& Failures() const { return failures_; }
  bool DialogGoneAfterRun() const { return dialogGone_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();
  void Abort();

  std::vector<Step> steps_;
  DWORD timeoutMs_;
  DWORD lastProgress_ = 0;
  std::size_t next_ = 0;
  bool busy_ = false;
  bool timedOut_ = false;
  bool dialogGone_ = false;
  HWND owner_ = nullptr;
  HWND dialog_ = nullptr;
  std::vector<std::string> failures_;
};

// ---- looking at windows ----
std::string Utf8(const std::wstring& text);
std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
// The settings dialog of this thread, or null.
HWND FindSettingsDialog();
// A visible message box owned by `owner` on this thread, or null.
HWND FindMessageBox(HWND owner);
MessageBoxSeen ReadMessageBox(HWND box);

// ---- acting as a user ----
// A mouse click on a button (check box, radio button, push button).
void Click(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::wstring& text);
// Picks a list entry (-1 for none) and notifies the dialog as a user's choice would.
void ChooseFit(HWND dialog, int index);
// Posted, so that a message box it opens runs its loop outside the step.
void PressButton(HWND dialog, int id);
void PressEscape(HWND dialog);
void PressCloseBox(HWND dialog);

// ---- common steps ----
Step Do(std::function<void(Driver&)> action);
// Waits for a message box owned by the dialog (one owned by anything else is
// never found), records it into `seen` and closes it.
Step AnswerMessageBox(MessageBoxSeen* seen);
// Lets the loop run for a few ticks, failing if a message box shows up.
Step NoMessageBoxFor(int ticks);

// ---- the settings file ----
std::string IniValue(const std::wstring& path, const wchar_t* key);

}  // namespace guitest
