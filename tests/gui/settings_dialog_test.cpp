// The settings dialog as a user meets it: opened through the host's
// configuration menu of the loaded module, read and operated while it runs,
// and judged by what it showed, what it said and what reached the INI file.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/gui/dialog_driver.h"
#include "tests/support/module_fixture.h"

namespace guitest {
namespace {

constexpr int kAuto = 1006, kLength = 1001, kSeconds = 1002, kFrames = 1003;
constexpr int kSecondsEdit = 1004, kFramesEdit = 1005, kFit = 1007, kVersion = 1008;
constexpr int kFirstAnchor = 1010, kLastAnchor = 1018;

constexpr const char* kBadSeconds = "秒数は0より大きい数を入れてください。";
constexpr const char* kBadFrames = "フレーム数は1以上の整数を入れてください。";

// A settings file whose values differ from the defaults where it matters.
const char* const kStartIni =
    "[Setting]\r\nAuto=1\r\nEnabled=1\r\nUnit=0\r\nSeconds=2.5\r\nFrames=45\r\nFit=1\r\nAlign="
    "4\r\n";

constexpr const char* kKeys[] = {"Auto", "Enabled", "Unit", "Seconds", "Frames", "Fit", "Align"};

// What the dialog shows at one moment.
struct Shown {
  bool autoOn = false, lengthOn = false, seconds = false, frames = false;
  std::string secondsText, framesText, versionText;
  std::vector<std::string> fitEntries;
  int fit = -2;
  std::vector<int> anchorsChecked;
  std::string usable;
  bool ownedByOwner = false, ownerDisabled = false;
};

std::string OnOff(bool on) { return on ? "on" : "off"; }

// Which controls can be used, in words, so a failure reads as a sentence.
std::string Usable(HWND d) {
  int anchors = 0;
  for (int id = kFirstAnchor; id <= kLastAnchor; ++id)
    anchors += Enabled(d, id) ? 1 : 0;
  bool always = Enabled(d, kAuto) && Enabled(d, kLength) && Enabled(d, kFit) && Enabled(d, IDOK) &&
                Enabled(d, IDCANCEL);
  return "seconds-radio:" + OnOff(Enabled(d, kSeconds)) +
         " frames-radio:" + OnOff(Enabled(d, kFrames)) +
         " seconds-edit:" + OnOff(Enabled(d, kSecondsEdit)) +
         " frames-edit:" + OnOff(Enabled(d, kFramesEdit)) + " anchors:" +
         (anchors == 9   ? "on"
          : anchors == 0 ? "off"
                         : "mixed") +
         " always:" + OnOff(always);
}

Shown Look(Driver& driver) {
  HWND d = driver.Dialog();
  Shown s;
  s.autoOn = Checked(d, kAuto);
  s.lengthOn = Checked(d, kLength);
  s.seconds = Checked(d, kSeconds);
  s.frames = Checked(d, kFrames);
  s.secondsText = ItemText(d, kSecondsEdit);
  s.framesText = ItemText(d, kFramesEdit);
  s.versionText = ItemText(d, kVersion);
  HWND list = GetDlgItem(d, kFit);
  auto count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
    wchar_t entry[64] = {};
    if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 64) {
      SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
    }
    s.fitEntries.push_back(Utf8(entry));
  }
  s.fit = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
  for (int id = kFirstAnchor; id <= kLastAnchor; ++id) {
    if (Checked(d, id)) s.anchorsChecked.push_back(id - kFirstAnchor);
  }
  s.usable = Usable(d);
  s.ownedByOwner = GetWindow(d, GW_OWNER) == driver.Owner();
  s.ownerDisabled = !IsWindowEnabled(driver.Owner());
  return s;
}

Step LookInto(Shown* shown) {
  return Do([shown](Driver& d) { *shown = Look(d); });
}

void ExpectFinished(const Driver& driver) {
  EXPECT_FALSE(driver.TimedOut());
  EXPECT_EQ(driver.StepsDone(), driver.StepCount()) << "the dialog closed before the script ended";
  for (const std::string& failure : driver.Failures())
    ADD_FAILURE() << failure;
  EXPECT_TRUE(driver.DialogGoneAfterRun());
}

class SettingsDialog : public testing::Test {
 protected:
  // Puts the settings file (when `ini` is given) beside the installed module,
  // loads it and runs the host's start-up sequence.
  void Start(const std::string& ini = "", std::uint32_t hostVersion = 2011700,
             bool registeredOnly = false) {
    if (!ini.empty()) {
      ASSERT_TRUE(testsupport::WriteTextFile(IniPath(), ini));
    }
    host_ = std::make_unique<hostsim::Host>(hostVersion);
    ASSERT_TRUE(installed_.Load()) << installed_.Module().Error();
    if (registeredOnly) {
      Module().RegisterPlugin(const_cast<velmora::HostTable*>(host_->Table()));
      return;
    }
    ASSERT_TRUE(installed_.Module().Start(*host_)) << installed_.Module().Error();
  }

  std::wstring IniPath() { return installed_.Folder().File(L"Velmora.ini"); }
  hostsim::PluginModule& Module() { return installed_.Module(); }
  hostsim::Host& HostSim() { return *host_; }
  std::string IniBytes() {
    std::string bytes;
    if (!testsupport::ReadFileBytes(IniPath(), bytes)) return "<no file>";
    return bytes;
  }
  std::vector<std::string> IniValues() {
    std::vector<std::string> values;
    for (const char* key : kKeys)
      values.push_back(IniValue(IniPath(), hostsim::Wide(key).c_str()));
    return values;
  }

  std::optional<std::intptr_t> Open(Driver& driver) { return driver.Run(*host_); }
  // Opens the dialog, looks at it and cancels.
  Shown LookAfterReopening() {
    Shown shown;
    Driver driver({LookInto(&shown), Do([](Driver& d) { PressButton(d.Dialog(), IDCANCEL); })});
    EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDCANCEL));
    ExpectFinished(driver);
    return shown;
  }

 private:
  // Declared first so that the host outlives the module's uninitialisation.
  std::unique_ptr<hostsim::Host> host_;
  testsupport::InstalledModule installed_;
};

// ---- opening ----

struct OpeningCase {
  const char* name;
  const char* ini;
  std::uint32_t hostVersion;
  bool autoOn, lengthOn, inFrames;
  const char* secondsText;
  const char* framesText;
  int fit, align;
  const char* versionText;
  const char* usable;
};

const OpeningCase kOpenings[] = {
    {"Defaults", "", 2011700, true, true, false, "3", "90", 1, 4, "本体バージョン 2011700",
     "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:on always:on"},
    {"AllOffInFrames",
     "[Setting]\r\nAuto=0\r\nEnabled=0\r\nUnit=1\r\nSeconds=2.5\r\nFrames=45\r\nFit=0\r\nAlign="
     "8\r\n",
     2012345, false, false, true, "2.5", "45", 0, 8, "本体バージョン 2012345",
     "seconds-radio:off frames-radio:off seconds-edit:off frames-edit:off anchors:off always:on"},
    {"FramesInUseAndLargeSeconds",
     "[Setting]\r\nUnit=1\r\nSeconds=1234567\r\nFrames=1\r\nFit=4\r\nAlign=0\r\n", 2011700, true,
     true, true, "1.23457e+06", "1", 4, 0, "本体バージョン 2011700",
     "seconds-radio:on frames-radio:on seconds-edit:off frames-edit:on anchors:on always:on"},
};

void PrintTo(const OpeningCase& c, std::ostream* out) { *out << c.name; }

class Opening : public SettingsDialog, public testing::WithParamInterface<OpeningCase> {};

TEST_P(Opening, ShowsTheLoadedRecordAndHostVersion) {
  const OpeningCase& c = GetParam();
  Start(c.ini, c.hostVersion);
  Shown shown;
  std::string title;
  Driver driver({LookInto(&shown), Do([&title](Driver& d) {
                   title = WindowText(d.Dialog());
                   PressButton(d.Dialog(), IDCANCEL);
                 })});
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDCANCEL));
  ExpectFinished(driver);

  EXPECT_EQ(title, "Velmora の設定");
  EXPECT_TRUE(shown.ownedByOwner) << "the dialog must be owned by the window the host passed";
  EXPECT_TRUE(shown.ownerDisabled) << "the dialog must be modal over its owner";
  EXPECT_EQ(shown.autoOn, c.autoOn);
  EXPECT_EQ(shown.lengthOn, c.lengthOn);
  EXPECT_EQ(shown.frames, c.inFrames);
  EXPECT_EQ(shown.seconds, !c.inFrames);
  EXPECT_EQ(shown.secondsText, c.secondsText);
  EXPECT_EQ(shown.framesText, c.framesText);
  EXPECT_EQ(shown.fitEntries, (std::vector<std::string>{"変えない", "全体が収まる", "画面を埋める",
                                                        "横幅に合わせる", "縦幅に合わせる"}));
  EXPECT_EQ(shown.fit, c.fit);
  EXPECT_EQ(shown.anchorsChecked, std::vector<int>{c.align});
  EXPECT_EQ(shown.versionText, c.versionText);
  EXPECT_EQ(shown.usable, c.usable);
}

INSTANTIATE_TEST_SUITE_P(Cases, Opening, testing::ValuesIn(kOpenings),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- which controls can be used ----

struct StateRow {
  const char* what;
  std::function<void(HWND)> act;
  const char* usable;
};

TEST_F(SettingsDialog, ControlsFollowTheChoicesMade) {
  Start();
  const std::vector<StateRow> rows = {
      {"length in seconds", [](HWND) {},
       "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:on always:on"},
      {"frames chosen", [](HWND d) { Click(d, kFrames); },
       "seconds-radio:on frames-radio:on seconds-edit:off frames-edit:on anchors:on always:on"},
      {"length unchecked", [](HWND d) { Click(d, kLength); },
       "seconds-radio:off frames-radio:off seconds-edit:off frames-edit:off anchors:on always:on"},
      {"length checked again", [](HWND d) { Click(d, kLength); },
       "seconds-radio:on frames-radio:on seconds-edit:off frames-edit:on anchors:on always:on"},
      {"seconds chosen", [](HWND d) { Click(d, kSeconds); },
       "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:on always:on"},
      {"size left alone", [](HWND d) { ChooseFit(d, 0); },
       "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:off always:on"},
      {"fill the screen", [](HWND d) { ChooseFit(d, 2); },
       "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:on always:on"},
      {"no size entry selected", [](HWND d) { ChooseFit(d, -1); },
       "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:off always:on"},
      {"list opened, nothing chosen yet",
       [](HWND d) {
         HWND list = GetDlgItem(d, kFit);
         SendMessageW(list, CB_SETCURSEL, 3, 0);
         SendMessageW(d, WM_COMMAND, MAKEWPARAM(kFit, CBN_DROPDOWN),
                      reinterpret_cast<LPARAM>(list));
       },
       "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:off always:on"},
      {"fit width chosen", [](HWND d) { ChooseFit(d, 3); },
       "seconds-radio:on frames-radio:on seconds-edit:on frames-edit:off anchors:on always:on"},
  };
  std::vector<std::string> seen(rows.size());
  std::vector<Step> steps;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    steps.push_back(Do([&, i](Driver& d) {
      rows[i].act(d.Dialog());
      seen[i] = Usable(d.Dialog());
    }));
  }
  steps.push_back(Do([](Driver& d) { PressButton(d.Dialog(), IDCANCEL); }));
  Driver driver(std::move(steps));
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDCANCEL));
  ExpectFinished(driver);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(seen[i], rows[i].usable) << "after: " << rows[i].what;
  }
}

// ---- rejected input ----

struct RejectedRow {
  const char* what;
  bool inFrames;
  const wchar_t* seconds;
  const wchar_t* frames;
  const char* message;
};

// The field not in use holds something invalid too: only one message may come.
const RejectedRow kRejected[] = {
    {"zero seconds", false, L"0", L"0", kBadSeconds},
    {"negative seconds", false, L"-1", L"", kBadSeconds},
    {"empty seconds", false, L"", L"0", kBadSeconds},
    {"seconds not a number", false, L"abc", L"0", kBadSeconds},
    {"NaN seconds", false, L"nan", L"0", kBadSeconds},
    {"infinite seconds", false, L"inf", L"0", kBadSeconds},
    {"seconds overflowing to infinity", false, L"1e999", L"0", kBadSeconds},
    {"empty frames", true, L"abc", L"", kBadFrames},
    {"zero frames", true, L"0", L"0", kBadFrames},
    {"frames negative as signed", true, L"-1", L"2147483648", kBadFrames},
    {"frames at the unsigned limit", true, L"0", L"4294967295", kBadFrames},
    {"frames beyond 32 bits", true, L"0", L"4294967296", kBadFrames},
    {"frames not a number", true, L"0", L"abc", kBadFrames},
};

TEST_F(SettingsDialog, RejectedLengthKeepsTheDialogOpenAndTheFileAlone) {
  const std::string ini = kStartIni;
  Start(ini);
  constexpr std::size_t n = std::size(kRejected);
  std::vector<MessageBoxSeen> boxes(n);
  std::vector<std::string> afterwards(n);
  std::vector<std::string> fileAfter(n);
  std::vector<Step> steps;
  for (std::size_t i = 0; i < n; ++i) {
    const RejectedRow& row = kRejected[i];
    steps.push_back(Do([&row](Driver& d) {
      Click(d.Dialog(), row.inFrames ? kFrames : kSeconds);
      SetItemText(d.Dialog(), kSecondsEdit, row.seconds);
      SetItemText(d.Dialog(), kFramesEdit, row.frames);
      PressButton(d.Dialog(), IDOK);
    }));
    steps.push_back(AnswerMessageBox(&boxes[i]));
    steps.push_back(NoMessageBoxFor(4));
    steps.push_back(Do([&, i](Driver& d) {
      afterwards[i] = std::string(IsWindowVisible(d.Dialog()) ? "open" : "closed") + " [" +
                      ItemText(d.Dialog(), kSecondsEdit) + "] [" +
                      ItemText(d.Dialog(), kFramesEdit) + "]";
      fileAfter[i] = IniBytes();
    }));
  }
  steps.push_back(Do([](Driver& d) { PressButton(d.Dialog(), IDCANCEL); }));
  Driver driver(std::move(steps));
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDCANCEL));
  ExpectFinished(driver);

  for (std::size_t i = 0; i < n; ++i) {
    const RejectedRow& row = kRejected[i];
    SCOPED_TRACE(row.what);
    EXPECT_EQ(boxes[i].caption, "Velmora");
    EXPECT_EQ(boxes[i].text, row.message);
    EXPECT_TRUE(boxes[i].exclamationIcon) << "the warning icon";
    EXPECT_EQ(boxes[i].buttons, std::vector<int>{IDOK});
    EXPECT_EQ(afterwards[i], "open [" + Utf8(row.seconds) + "] [" + Utf8(row.frames) + "]");
    EXPECT_EQ(fileAfter[i], ini);
  }
  EXPECT_EQ(IniBytes(), ini);

  // Nor did a rejected press store anything in memory (the last rows chose frames).
  Shown again = LookAfterReopening();
  EXPECT_TRUE(again.seconds);
  EXPECT_EQ(again.secondsText, "2.5");
  EXPECT_EQ(again.framesText, "45");
}

// ---- leaving without saving ----

struct Leaving {
  const char* name;
  void (*leave)(HWND);
};

const Leaving kLeavings[] = {
    {"CancelButton", [](HWND d) { PressButton(d, IDCANCEL); }},
    {"EscapeKey", [](HWND d) { PressEscape(d); }},
    {"CloseBox", [](HWND d) { PressCloseBox(d); }},
};

void PrintTo(const Leaving& c, std::ostream* out) { *out << c.name; }

class LeavingWithoutSaving : public SettingsDialog, public testing::WithParamInterface<Leaving> {};

TEST_P(LeavingWithoutSaving, ChangesNothing) {
  const std::string ini = kStartIni;
  Start(ini);
  auto leave = GetParam().leave;
  Driver driver({Do([](Driver& d) {
                   HWND w = d.Dialog();
                   Click(w, kAuto);
                   Click(w, kFrames);
                   SetItemText(w, kSecondsEdit, L"7");
                   SetItemText(w, kFramesEdit, L"12");
                   ChooseFit(w, 4);
                   Click(w, kFirstAnchor);
                 }),
                 Do([leave](Driver& d) { leave(d.Dialog()); })});
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDCANCEL));
  ExpectFinished(driver);
  EXPECT_EQ(IniBytes(), ini);

  Shown again = LookAfterReopening();
  EXPECT_TRUE(again.autoOn);
  EXPECT_TRUE(again.seconds);
  EXPECT_EQ(again.secondsText, "2.5");
  EXPECT_EQ(again.framesText, "45");
  EXPECT_EQ(again.fit, 1);
  EXPECT_EQ(again.anchorsChecked, std::vector<int>{4});
}

INSTANTIATE_TEST_SUITE_P(Ways, LeavingWithoutSaving, testing::ValuesIn(kLeavings),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- saving ----

struct SavingCase {
  const char* name;
  const char* ini;        // before loading
  const char* editedIni;  // written by hand while the module is loaded
  std::function<void(HWND)> act;
  std::vector<std::string> saved;  // Auto, Enabled, Unit, Seconds, Frames, Fit, Align
  bool registeredOnly = false;     // the host skipped InitializePlugin
};

const SavingCase kSavings[] = {
    {"SecondsWithSixDigits",
     "",
     nullptr,
     [](HWND d) { SetItemText(d, kSecondsEdit, L"2.1234567"); },
     {"1", "1", "0", "2.12346", "90", "1", "4"}},
    {"LengthOffIgnoresBadFields",
     kStartIni,
     nullptr,
     [](HWND d) {
       Click(d, kLength);
       SetItemText(d, kSecondsEdit, L"abc");
       SetItemText(d, kFramesEdit, L"0");
     },
     {"1", "0", "0", "2.5", "45", "1", "4"}},
    {"FramesInUseSecondsKeptWhenBad",
     kStartIni,
     nullptr,
     [](HWND d) {
       Click(d, kFrames);
       SetItemText(d, kFramesEdit, L"120");
       SetItemText(d, kSecondsEdit, L"abc");
     },
     {"1", "1", "1", "2.5", "120", "1", "4"}},
    {"InfiniteSecondsNotInUseKeepPrevious",
     kStartIni,
     nullptr,
     [](HWND d) {
       Click(d, kFrames);
       SetItemText(d, kFramesEdit, L"60");
       SetItemText(d, kSecondsEdit, L"inf");
     },
     {"1", "1", "1", "2.5", "60", "1", "4"}},
    {"TrailingTextAfterSecondsIgnored",
     kStartIni,
     nullptr,
     [](HWND d) { SetItemText(d, kSecondsEdit, L"2.5s"); },
     {"1", "1", "0", "2.5", "45", "1", "4"}},
    {"ValidFieldNotInUseTakenOver",
     kStartIni,
     nullptr,
     [](HWND d) {
       SetItemText(d, kSecondsEdit, L"4");
       SetItemText(d, kFramesEdit, L"30");
     },
     {"1", "1", "0", "4", "30", "1", "4"}},
    {"EverythingChanged",
     kStartIni,
     nullptr,
     [](HWND d) {
       Click(d, kAuto);
       Click(d, kFrames);
       SetItemText(d, kFramesEdit, L"24");
       SetItemText(d, kSecondsEdit, L"0.5");
       ChooseFit(d, 4);
       Click(d, kLastAnchor);
     },
     {"0", "1", "1", "0.5", "24", "4", "8"}},
    {"AnchorSavedWhileDisabled",
     kStartIni,
     nullptr,
     [](HWND d) {
       Click(d, kFirstAnchor + 6);
       ChooseFit(d, 0);
     },
     {"1", "1", "0", "2.5", "45", "0", "6"}},
    {"HandEditedFileOverwritten",
     kStartIni,
     "[Setting]\r\nAuto=0\r\nEnabled=0\r\nUnit=1\r\nSeconds=9\r\nFrames=1\r\nFit=3\r\nAlign=2\r\n",
     [](HWND) {},
     {"1", "1", "0", "2.5", "45", "1", "4"}},
    // The file beside the module all the same, read at registration.
    {"RegisteredWithoutInitialize",
     kStartIni,
     nullptr,
     [](HWND d) { SetItemText(d, kSecondsEdit, L"4"); },
     {"1", "1", "0", "4", "45", "1", "4"},
     true},
};

void PrintTo(const SavingCase& c, std::ostream* out) { *out << c.name; }

class Saving : public SettingsDialog, public testing::WithParamInterface<SavingCase> {};

TEST_P(Saving, OkWritesTheSevenKeysAndKeepsTheRecord) {
  const SavingCase& c = GetParam();
  Start(c.ini, 2011700, c.registeredOnly);
  if (c.editedIni != nullptr) {
    ASSERT_TRUE(testsupport::WriteTextFile(IniPath(), c.editedIni));
  }
  auto act = c.act;
  Driver driver({Do([act](Driver& d) {
    act(d.Dialog());
    PressButton(d.Dialog(), IDOK);
  })});
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDOK));
  ExpectFinished(driver);
  EXPECT_EQ(IniValues(), c.saved);

  // The record in memory was replaced too: the next opening shows it.
  Shown again = LookAfterReopening();
  EXPECT_EQ(again.autoOn, c.saved[0] == "1");
  EXPECT_EQ(again.lengthOn, c.saved[1] == "1");
  EXPECT_EQ(again.frames, c.saved[2] == "1");
  EXPECT_EQ(again.secondsText, c.saved[3]);
  EXPECT_EQ(again.framesText, c.saved[4]);
  EXPECT_EQ(again.fit, std::stoi(c.saved[5]));
  EXPECT_EQ(again.anchorsChecked, std::vector<int>{std::stoi(c.saved[6])});
}

INSTANTIATE_TEST_SUITE_P(Cases, Saving, testing::ValuesIn(kSavings),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder where the file should go makes every write fail: the user is told
// where, while the dialog is still open, and the confirmed values stay in use.
TEST_F(SettingsDialog, FailedSaveIsReportedAndTheRecordKept) {
  Start();
  ASSERT_TRUE(CreateDirectoryW(IniPath().c_str(), nullptr));
  MessageBoxSeen box;
  Driver driver({Do([](Driver& d) {
                   SetItemText(d.Dialog(), kSecondsEdit, L"4");
                   PressButton(d.Dialog(), IDOK);
                 }),
                 AnswerMessageBox(&box)});
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDOK));
  ExpectFinished(driver);
  EXPECT_EQ(box.caption, "Velmora");
  EXPECT_EQ(box.text, "設定を保存できませんでした:\n" + Utf8(IniPath()) +
                          "\n\nこの設定は本体を終了するまで有効です。");
  EXPECT_TRUE(box.exclamationIcon);
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
  EXPECT_EQ(LookAfterReopening().secondsText, "4");
}

// The host may shut the plug-in down from another thread while the dialog
// is open, and unload the module: the dialog closes itself as cancelled,
// keeps nothing of what was typed, and its code stays mapped until it has
// returned.
TEST_F(SettingsDialog, ShutdownFromAnotherThreadClosesItAsCancelled) {
  Start(kStartIni);
  std::atomic<bool> unloaded{false};
  std::thread worker;
  Driver driver({Do([&](Driver& d) {
    SetItemText(d.Dialog(), kSecondsEdit, L"4");
    worker = std::thread([&] {
      Module().UninitializePlugin();
      HostSim().ForgetRegistrations();
      Module().Unload();
      unloaded = true;
    });
    // Only what is sent is handled meanwhile (the shut-down's request to the
    // message window); anything posted to the dialog waits for the unload.
    MSG msg;
    while (!unloaded) {
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      Sleep(1);
    }
  })});
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDCANCEL));
  worker.join();
  EXPECT_FALSE(driver.TimedOut());
  EXPECT_TRUE(driver.DialogGoneAfterRun());
  EXPECT_EQ(IniBytes(), kStartIni);
}

// A host may still run the configuration menu after the shut-down: a
// plug-in that is gone shows no settings it could not keep.
TEST_F(SettingsDialog, NotShownOnceThePluginIsShutDown) {
  Start(kStartIni);
  Module().UninitializePlugin();
  Driver driver({Do([](Driver& d) {
    SetItemText(d.Dialog(), kSecondsEdit, L"4");
    PressButton(d.Dialog(), IDOK);
  })});
  EXPECT_EQ(Open(driver), std::optional<std::intptr_t>(IDCANCEL));
  EXPECT_EQ(driver.StepsDone(), 0u) << "the dialog was shown";
  EXPECT_EQ(IniBytes(), kStartIni);
}

}  // namespace
}  // namespace guitest
