// The settings dialog: shows the record in memory and the host version, keeps
// the controls that do not apply disabled, and on OK checks the length that is
// in use before it replaces the record and saves it. Cancel, Escape and the
// close box leave everything as it was.
#include "settings/settings_dialog.h"

#include <cwchar>
#include <string>

#include "plugin/host/host_state.h"
#include "plugin/host/lifetime.h"
#include "settings/resource.h"
#include "settings/settings.h"

namespace velmora {
namespace {

constexpr int kFieldChars = 64;
static_assert(IDC_ALIGN_LAST - IDC_ALIGN_FIRST + 1 == kAnchorCount,
              "one anchor button per Anchor value, in their order");
static_assert(kSettingsDialogId == IDD_SETTINGS, "the code opens the template the script defines");

constexpr const wchar_t* kMessageCaption = L"Velmora";
constexpr const wchar_t* kBadSecondsMessage = L"秒数は0より大きい数を入れてください。";
constexpr const wchar_t* kBadFramesMessage = L"フレーム数は1以上の整数を入れてください。";
constexpr const wchar_t* kSaveFailedMessageHead = L"設定を保存できませんでした:\n";
constexpr const wchar_t* kSaveFailedMessageTail = L"\n\nこの設定は本体を終了するまで有効です。";

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

LRESULT FitSelection(HWND dialog) {
  return SendDlgItemMessageW(dialog, IDC_FIT, CB_GETCURSEL, 0, 0);
}

void ShowWarning(HWND dialog, const wchar_t* text) {
  MessageBoxW(dialog, text, kMessageCaption, MB_ICONEXCLAMATION | MB_OK);
}

// The settings are in effect already; the user must know they will not
// survive the host, and where the file could not be written.
void ShowSaveFailure(HWND dialog) {
  const std::wstring text = kSaveFailedMessageHead + SettingsFilePath() + kSaveFailedMessageTail;
  ShowWarning(dialog, text.c_str());
}

void FillControls(HWND dialog) {
  const PluginSettings& s = state::Settings;
  CheckDlgButton(dialog, IDC_AUTO, s.Auto ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_LENGTH_ENABLED, s.Enabled ? BST_CHECKED : BST_UNCHECKED);
  CheckRadioButton(dialog, IDC_UNIT_SECONDS, IDC_UNIT_FRAMES,
                   s.Unit == kUnitFrames ? IDC_UNIT_FRAMES : IDC_UNIT_SECONDS);

  wchar_t text[kFieldChars] = {};
  std::wcsncpy(text, FormatSeconds(s.Seconds).c_str(), kFieldChars - 1);
  SetDlgItemTextW(dialog, IDC_SECONDS, text);
  SetDlgItemInt(dialog, IDC_FRAMES, static_cast<UINT>(s.Frames), FALSE);

  for (const wchar_t* name : kSizeModeNames) {
    SendDlgItemMessageW(dialog, IDC_FIT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
  SendDlgItemMessageW(dialog, IDC_FIT, CB_SETCURSEL, static_cast<WPARAM>(s.Fit), 0);
  CheckRadioButton(dialog, IDC_ALIGN_FIRST, IDC_ALIGN_LAST, IDC_ALIGN_FIRST + s.Align);

  wchar_t version[kFieldChars] = {};
  std::swprintf(version, kFieldChars, L"本体バージョン %lu",
                static_cast<unsigned long>(state::HostVersion));
  SetDlgItemTextW(dialog, IDC_HOST_VERSION, version);
}

// Reads the dialog into a copy of the record. Returns false, after telling the
// user, when the length in use is not acceptable; the record is then untouched.
bool Confirm(HWND dialog) {
  PluginSettings copy = state::Settings;
  copy.Auto = IsChecked(dialog, IDC_AUTO);
  copy.Enabled = IsChecked(dialog, IDC_LENGTH_ENABLED);
  copy.Unit = IsChecked(dialog, IDC_UNIT_FRAMES) ? kUnitFrames : kUnitSeconds;

  wchar_t text[kFieldChars] = {};
  GetDlgItemTextW(dialog, IDC_SECONDS, text, kFieldChars);
  const double seconds = ParseSeconds(text);
  // Infinity passes "greater than zero" but cannot become a frame count, so
  // it is refused together with zero, negatives and NaN.
  const bool secondsOk = IsValidSeconds(seconds);

  BOOL read = FALSE;
  const UINT rawFrames = GetDlgItemInt(dialog, IDC_FRAMES, &read, FALSE);
  const auto frames = static_cast<std::int32_t>(rawFrames);
  const bool framesOk = read && frames >= 1;

  if (copy.Enabled) {
    const bool inFrames = copy.Unit == kUnitFrames;
    if (inFrames && !framesOk) {
      ShowWarning(dialog, kBadFramesMessage);
      return false;
    }
    if (!inFrames && !secondsOk) {
      ShowWarning(dialog, kBadSecondsMessage);
      return false;
    }
  }

  // The field not in use is taken over only when it holds a usable value.
  if (secondsOk) copy.Seconds = seconds;
  if (framesOk) copy.Frames = frames;

  const LRESULT fit = FitSelection(dialog);
  if (fit >= 0 && fit < kSizeModeCount) copy.Fit = static_cast<std::int32_t>(fit);
  for (std::int32_t anchor = 0; anchor < kAnchorCount; ++anchor) {
    if (IsChecked(dialog, IDC_ALIGN_FIRST + anchor)) copy.Align = anchor;
  }

  state::Settings = copy;
  if (!SaveSettings()) ShowSaveFailure(dialog);
  return true;
}

}  // namespace

std::intptr_t VELMORA_HOSTCALL OpenSettingsDialog(HWND parent) {
  std::intptr_t result = IDCANCEL;
  Enter([&] {
    // A plug-in that was shut down has no settings to show or keep.
    const Lifetime opened;
    if (opened.BeganShutDown()) return;
    // The dialog keeps the lifetime it was opened in: a shut-down may come
    // before it exists, where nothing can close it.
    result = DialogBoxParamW(state::ModuleInstance, MAKEINTRESOURCEW(kSettingsDialogId), parent,
                             &SettingsDialogProc, static_cast<LPARAM>(opened.Shutdowns()));
  });
  return result;
}

void UpdateControlStates(HWND dialog) {
  const bool lengthOn = IsChecked(dialog, IDC_LENGTH_ENABLED);
  const bool inSeconds = IsChecked(dialog, IDC_UNIT_SECONDS);
  EnableWindow(GetDlgItem(dialog, IDC_UNIT_SECONDS), lengthOn);
  EnableWindow(GetDlgItem(dialog, IDC_UNIT_FRAMES), lengthOn);
  EnableWindow(GetDlgItem(dialog, IDC_SECONDS), lengthOn && inSeconds);
  EnableWindow(GetDlgItem(dialog, IDC_FRAMES), lengthOn && !inSeconds);

  // Leaving the size alone, and no selection (CB_ERR, below it), make the
  // anchor meaningless.
  const bool anchorsOn = FitSelection(dialog) > kFitKeepSize;
  for (int id = IDC_ALIGN_FIRST; id <= IDC_ALIGN_LAST; ++id) {
    EnableWindow(GetDlgItem(dialog, id), anchorsOn);
  }
}

namespace {

// The lifetime the dialog was opened in; a dialog that outlives it keeps
// nothing, whatever the user presses.
bool OpenedInThisLifetime(HWND dialog) {
  return !Lifetime(static_cast<std::uint32_t>(GetWindowLongPtrW(dialog, DWLP_USER))).Ended();
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    FillControls(dialog);
    UpdateControlStates(dialog);
    return TRUE;  // let the platform focus the first control
  }
  if (message != WM_COMMAND) return FALSE;

  switch (LOWORD(wParam)) {
    case IDC_LENGTH_ENABLED:
    case IDC_UNIT_SECONDS:
    case IDC_UNIT_FRAMES: UpdateControlStates(dialog); return TRUE;
    case IDC_FIT:
      if (HIWORD(wParam) == CBN_SELCHANGE) UpdateControlStates(dialog);
      return TRUE;
    case IDOK:
      if (!OpenedInThisLifetime(dialog)) {
        EndDialog(dialog, IDCANCEL);
      } else if (Confirm(dialog)) {
        EndDialog(dialog, IDOK);
      }
      return TRUE;
    case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
    default: return FALSE;
  }
}

BOOL CALLBACK CloseIfSettingsDialog(HWND window, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  // A dialog's procedure is read only from windows of this process.
  if (process == GetCurrentProcessId() &&
      GetWindowLongPtrW(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&SettingsDialogProc)) {
    // Only the dialog's own thread may end it; closed, it cancels.
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

void CloseSettingsDialogs() { EnumWindows(&CloseIfSettingsDialog, 0); }

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR handled = FALSE;
  Enter([&] { handled = HandleMessage(dialog, message, wParam, lParam); });
  return handled;
}

}  // namespace velmora
