// Timer-driven scripting of the modal settings dialog; see dialog_driver.h.
#include "tests/gui/dialog_driver.h"

#include <memory>

namespace guitest {
namespace {

constexpr UINT kTickMs = 25;
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kOwnerClass[] = L"VelmoraTestOwner";

Driver* g_active = nullptr;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring WideText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got));
  return text;
}

struct ThreadSearch {
  std::function<bool(HWND)> match;
  HWND found = nullptr;
};

BOOL CALLBACK SearchThreadWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<ThreadSearch*>(param);
  if (search->match(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindOnThisThread(std::function<bool(HWND)> match) {
  ThreadSearch search{std::move(match)};
  EnumThreadWindows(GetCurrentThreadId(), &SearchThreadWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND CreateOwner() {
  static ATOM registered = 0;
  if (registered == 0) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kOwnerClass;
    registered = RegisterClassW(&wc);
  }
  return CreateWindowExW(0, kOwnerClass, L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

Driver::Driver(std::vector<Step> steps, DWORD timeoutMs)
    : steps_(std::move(steps)), timeoutMs_(timeoutMs) {}

std::optional<std::intptr_t> Driver::Run(hostsim::Host& host) {
  owner_ = CreateOwner();
  if (owner_ == nullptr) {
    Fail("cannot create the owner window");
    return std::nullopt;
  }
  g_active = this;
  lastProgress_ = GetTickCount();
  UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, &Driver::Tick);
  std::optional<std::intptr_t> result = host.OpenConfigMenu(owner_);
  KillTimer(nullptr, timer);
  g_active = nullptr;
  dialogGone_ = FindSettingsDialog() == nullptr;
  DestroyWindow(owner_);
  owner_ = nullptr;
  hostsim::Host::PumpUntilIdle();
  return result;
}

void CALLBACK Driver::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_active != nullptr) g_active->OnTick();
}

void Driver::OnTick() {
  // A step that sends a message may re-enter through a nested loop; the
  // next tick will do.
  if (busy_) return;
  busy_ = true;
  if (GetTickCount() - lastProgress_ > timeoutMs_) {
    Abort();
  } else {
    if (dialog_ == nullptr || !IsWindow(dialog_)) dialog_ = FindSettingsDialog();
    if (dialog_ != nullptr && next_ < steps_.size() && steps_[next_](*this)) {
      ++next_;
      lastProgress_ = GetTickCount();
    }
  }
  busy_ = false;
}

void Driver::Abort() {
  if (timedOut_) return;
  timedOut_ = true;
  Fail("timed out in step " + std::to_string(next_ + 1) + " of " + std::to_string(steps_.size()));
  HWND dialog = FindSettingsDialog();
  if (dialog != nullptr) {
    if (HWND box = FindMessageBox(dialog)) EndDialog(box, IDOK);
    EndDialog(dialog, kTimedOutResult);
  }
}

std::string Utf8(const std::wstring& text) { return hostsim::Utf8(text); }

std::string WindowText(HWND window) { return Utf8(WideText(window)); }

std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

HWND FindSettingsDialog() {
  return FindOnThisThread(
      [](HWND w) { return ClassOf(w) == kDialogClass && WideText(w) == L"Velmora の設定"; });
}

HWND FindMessageBox(HWND owner) {
  return FindOnThisThread([owner](HWND w) {
    return w != owner && ClassOf(w) == kDialogClass && GetWindow(w, GW_OWNER) == owner &&
           IsWindowVisible(w);
  });
}

MessageBoxSeen ReadMessageBox(HWND box) {
  MessageBoxSeen seen;
  seen.caption = WindowText(box);
  const HICON exclamation = LoadIconW(nullptr, IDI_EXCLAMATION);
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const std::wstring cls = ClassOf(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        seen.exclamationIcon = icon != nullptr && icon == exclamation;
      } else if (GetWindowTextLengthW(child) > 0) {
        seen.text = WindowText(child);
      }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
      seen.buttons.push_back(GetDlgCtrlID(child));
    }
  }
  return seen;
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void SetItemText(HWND dialog, int id, const std::wstring& text) {
  SetDlgItemTextW(dialog, id, text.c_str());
}

void ChooseFit(HWND dialog, int index) {
  HWND list = GetDlgItem(dialog, 1007);
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1007, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressEscape(HWND dialog) {
  // The dialog manager in the modal loop turns the key into IDCANCEL.
  HWND focus = GetFocus();
  HWND target = focus != nullptr && IsChild(dialog, focus) ? focus : dialog;
  PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
}

void PressCloseBox(HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

Step Do(std::function<void(Driver&)> action) {
  return [action = std::move(action)](Driver& d) {
    action(d);
    return true;
  };
}

Step AnswerMessageBox(MessageBoxSeen* seen) {
  return [seen](Driver& d) {
    HWND box = FindMessageBox(d.Dialog());
    if (box == nullptr) return false;
    *seen = ReadMessageBox(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return true;
  };
}

Step NoMessageBoxFor(int ticks) {
  auto left = std::make_shared<int>(ticks);
  return [left](Driver& d) {
    if (FindMessageBox(d.Dialog()) != nullptr) {
      d.Fail("an unexpected message box is open");
      EndDialog(FindMessageBox(d.Dialog()), IDOK);
      return true;
    }
    return --*left <= 0;
  };
}

std::string IniValue(const std::wstring& path, const wchar_t* key) {
  wchar_t text[64] = {};
  GetPrivateProfileStringW(L"Setting", key, L"<absent>", text, 64, path.c_str());
  return Utf8(text);
}

}  // namespace guitest
