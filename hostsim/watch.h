// Limits on velmora-host's waits. While a command runs, a thread timer looks
// at the windows of this thread: a message box or a dialog that nobody
// expects is read, reported and closed, and the settings dialog is pressed
// for a script that asked for it. The timer ticks inside any modal loop (the
// dialog's, a message box's). A command that does not come back at all, in a
// plug-in stuck outside any message loop, is caught by a thread of its own,
// which ends the program.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hostsim {

enum class DialogAction { Wait, Ok, Cancel };

// How long a person may keep the settings dialog open before velmora-host
// presses Cancel, and how long any command may run beyond what it asked for.
inline constexpr DWORD kPersonLimitMs = 10 * 60 * 1000;
inline constexpr DWORD kCommandLimitMs = 60 * 1000;

namespace window_watch {

// Starts watching for the command about to run; the settings dialog is not
// expected.
void Start();
// Called once, when the settings dialog first shows and before anything is
// pressed; returns a line to report.
using DialogShown = std::function<std::string(HWND dialog)>;
// The command opens the settings dialog: `action` is pressed `afterMs`
// after it shows, or, when the script waits for a person, Cancel after
// kPersonLimitMs. A dialog still open a second after a press is cancelled,
// then ended.
void ExpectDialog(DialogAction action, DWORD afterMs, DialogShown onShown);
// What was seen and done so far, one line each; the list is emptied.
std::vector<std::string> TakeNotes();
// Stops watching.
void Stop();

}  // namespace window_watch

// Ends the program, with an error naming the line, when a command runs
// longer than its limit.
class Deadline {
 public:
  Deadline();
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

  void Start(int line, DWORD limitMs);
  // The command waits `ms` more on purpose (pump, a person at the dialog).
  void Extend(DWORD ms);
  void Stop();

 private:
  void Watch();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_ = false;
  bool quit_ = false;
  int line_ = 0;
  DWORD limitMs_ = 0;
  std::chrono::steady_clock::time_point until_;
  std::thread thread_;
};

}  // namespace hostsim
