#include "hostsim/watch.h"

#include <set>
#include <utility>

#include "hostsim/host.h"

namespace hostsim {
namespace window_watch {
namespace {

constexpr const wchar_t* kDialogTitle = L"Velmora の設定";
constexpr UINT kTickMs = 50;
// How long a dialog may stay open after a press before the next, stronger one.
constexpr ULONGLONG kStillOpenMs = 1000;
// The static control that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;

// The timer procedure has no context, so what it works on lives here; only
// the thread that runs the commands touches it.
struct Watch {
  UINT_PTR Timer = 0;
  ULONGLONG Started = 0;
  bool DialogExpected = false;
  WPARAM Button = 0;    // 0: a person closes the dialog
  DialogShown OnShown;  // called once, then emptied
  ULONGLONG PressAt = 0;
  int Presses = 0;  // 1: the script's button, 2: Cancel, 3: ended
  ULONGLONG LastPress = 0;
  std::set<HWND> Reported;
  std::vector<std::string> Notes;
};
Watch g_Watch;

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

// A message box's text on one line; a dialog of another kind gives the
// texts of its static controls.
std::string BoxText(HWND box) {
  std::wstring text;
  if (HWND message = GetDlgItem(box, kMessageBoxTextId)) {
    text = TextOf(message);
  } else {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t kind[16] = {};
      GetClassNameW(child, kind, 16);
      if (std::wstring(kind) == L"Static" && !TextOf(child).empty())
        text += (text.empty() ? L"" : L" ") + TextOf(child);
    }
  }
  std::wstring line;
  for (wchar_t c : text) {
    if (c == L'\r') continue;
    if (c == L'\n') {
      if (!line.empty() && line.back() != L' ') line += L' ';
    } else {
      line += c;
    }
  }
  return Utf8(line);
}

struct Found {
  HWND Dialog = nullptr;
  std::vector<HWND> Others;
};

BOOL CALLBACK Collect(HWND window, LPARAM found) {
  wchar_t kind[16] = {};
  GetClassNameW(window, kind, 16);
  if (!IsWindowVisible(window) || std::wstring(kind) != L"#32770") return TRUE;
  auto& f = *reinterpret_cast<Found*>(found);
  if (g_Watch.DialogExpected && TextOf(window) == kDialogTitle && f.Dialog == nullptr) {
    f.Dialog = window;
  } else {
    f.Others.push_back(window);
  }
  return TRUE;
}

void Press(HWND dialog, WPARAM button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

// Cancel first, as Escape would; a window that stays gets OK, then the
// close box.
void CloseUnexpected(HWND window) {
  if (g_Watch.Reported.insert(window).second) {
    g_Watch.Notes.push_back("the plug-in showed a message box, \"" + Utf8(TextOf(window)) +
                            "\": " + BoxText(window) + " (velmora-host closed it)");
    Press(window, IDCANCEL);
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
    Press(window, IDOK);
  }
}

void DriveDialog(HWND dialog, ULONGLONG now) {
  Watch& w = g_Watch;
  if (w.OnShown) {
    // Painted now, whatever the order of the messages that brought it here.
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    w.Notes.push_back(w.OnShown(dialog));
    w.OnShown = nullptr;
    return;
  }
  const bool waiting = w.Presses == 0 ? now < w.PressAt : now < w.LastPress + kStillOpenMs;
  if (waiting || w.Presses > 2) return;
  if (w.Presses == 0) {
    if (w.Button == 0) {
      w.Notes.push_back("nobody closed the dialog in " + std::to_string(kPersonLimitMs / 60000) +
                        " minutes: velmora-host pressed Cancel");
    }
    Press(dialog, w.Button == 0 ? IDCANCEL : w.Button);
  } else if (w.Presses == 1) {
    w.Notes.push_back(std::string("the dialog was still open a second after ") +
                      (w.Button == IDOK ? "OK" : "Cancel") + ": velmora-host pressed Cancel");
    Press(dialog, IDCANCEL);
  } else {
    w.Notes.push_back("the dialog did not close on Cancel: velmora-host ended it");
    EndDialog(dialog, IDCANCEL);
  }
  ++w.Presses;
  w.LastPress = now;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Found found;
  EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&found));
  for (HWND other : found.Others)
    CloseUnexpected(other);
  // A box the dialog shows comes first: the dialog waits for it.
  if (found.Dialog != nullptr && found.Others.empty()) DriveDialog(found.Dialog, GetTickCount64());
}

}  // namespace

void Start() {
  Stop();
  g_Watch = Watch{};
  g_Watch.Started = GetTickCount64();
  g_Watch.Timer = SetTimer(nullptr, 0, kTickMs, &Tick);
}

void ExpectDialog(DialogAction action, DWORD afterMs, DialogShown onShown) {
  g_Watch.DialogExpected = true;
  g_Watch.OnShown = std::move(onShown);
  g_Watch.Button = action == DialogAction::Ok       ? IDOK
                   : action == DialogAction::Cancel ? IDCANCEL
                                                    : 0;
  g_Watch.PressAt = GetTickCount64() + (action == DialogAction::Wait ? kPersonLimitMs : afterMs);
}

std::vector<std::string> TakeNotes() {
  std::vector<std::string> notes;
  notes.swap(g_Watch.Notes);
  return notes;
}

void Stop() {
  if (g_Watch.Timer != 0) KillTimer(nullptr, g_Watch.Timer);
  g_Watch.Timer = 0;
}

}  // namespace window_watch

Deadline::Deadline() : thread_([this] { Watch(); }) {}

Deadline::~Deadline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void Deadline::Start(int line, DWORD limitMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = true;
    line_ = line;
    limitMs_ = limitMs;
    until_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  }
  changed_.notify_all();
}

void Deadline::Extend(DWORD ms) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    limitMs_ += ms;
    until_ += std::chrono::milliseconds(ms);
  }
  changed_.notify_all();
}

void Deadline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
  }
  changed_.notify_all();
}

void Deadline::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (quit_) return;
    if (!armed_) {
      changed_.wait(lock);
    } else if (changed_.wait_until(lock, until_) == std::cv_status::timeout &&
               std::chrono::steady_clock::now() >= until_ && armed_ && !quit_) {
      break;
    }
  }
  // The thread that runs the commands is stuck, perhaps holding the C
  // runtime's locks, so the message goes straight to the handle.
  const std::string text = "error on line " + std::to_string(line_) + ": no end after " +
                           std::to_string(limitMs_ / 1000) +
                           " s: velmora-host stops here (a call into the plug-in may be stuck)\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
  TerminateProcess(GetCurrentProcess(), 1);
}

}  // namespace hostsim
