// The built module driven by a host that calls its exports and handlers in
// unusual orders, from other threads, or with nothing to work on. Each case
// has one defined outcome, and none may crash or touch the timeline outside
// a host callback.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hostsim/host.h"
#include "tests/support/module_fixture.h"
#include "tests/validation/module_checks.h"

namespace {

using hostsim::Host;
using hostsim::SimObject;
using validation::CountOps;
using validation::kWindowClass;
using validation::MessageWindows;

class OddOrder : public testing::Test {
 protected:
  void SetUp() override {
    host.SetMedia(L"C:\\p.png", 0.0, 4000, 3000);
    host.SetMedia(L"C:\\q.png", 0.0, 4000, 3000);
  }
  void TearDown() override { EXPECT_TRUE(host.Violations().empty()) << host.Violations().front(); }

  hostsim::PluginModule& Module() { return installed.Module(); }
  void Load() { ASSERT_TRUE(installed.Load()) << Module().Error(); }
  void Register() { Module().RegisterPlugin(const_cast<velmora::HostTable*>(host.Table())); }
  // One host event, handled: the scan it asks for runs now.
  void Event() {
    host.FireEvent(1);
    Host::PumpUntilIdle();
  }

  testsupport::InstalledModule installed;
  Host host;
};

TEST_F(OddOrder, UninitializeTwiceThenHandlersDoNothing) {
  Load();
  ASSERT_TRUE(Module().Start(host));
  Event();
  ASSERT_EQ(CountOps(host, "RunRead"), 1);

  Module().UninitializePlugin();
  EXPECT_EQ(MessageWindows(kWindowClass), 0);
  Module().UninitializePlugin();
  EXPECT_EQ(MessageWindows(kWindowClass), 0);

  // The host may still hold the handlers: they post nothing now.
  host.AddImage(0, 0, 9, L"C:\\p.png");
  EXPECT_TRUE(host.FireEvent(1));
  EXPECT_TRUE(host.FireEvent(3));
  EXPECT_TRUE(host.FireReset());
  Host::PumpMessages(100);
  EXPECT_EQ(CountOps(host, "RunRead"), 1);
  EXPECT_EQ(CountOps(host, "SetItem"), 0);
}

TEST_F(OddOrder, UninitializeBeforeAnythingElse) {
  Load();
  Module().UninitializePlugin();
  EXPECT_EQ(MessageWindows(kWindowClass), 0);
  // The module still starts normally afterwards.
  ASSERT_TRUE(Module().Start(host));
  EXPECT_EQ(MessageWindows(kWindowClass), 1);
  Event();
  EXPECT_EQ(CountOps(host, "RunRead"), 1);
}

// Registered without InitializePlugin, the plug-in still works from the
// user's file: the settings dialog would otherwise show the built-in values
// and write them over it.
TEST_F(OddOrder, RegisterWithoutInitializeStillReadsTheSettingsFile) {
  // A file that switches off the automatic alignment.
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Velmora.ini"),
                                         "[Setting]\r\nAuto=0\r\nFit=0\r\nEnabled=0\r\n"));
  Load();
  Register();
  EXPECT_EQ(host.Registered().EditHandlesCreated, 1);
  EXPECT_EQ(host.Registered().Events.size(), 2u);
  Event();  // baseline of the empty scene
  host.AddImage(0, 0, 9, L"C:\\p.png");
  host.ClearCalls();
  Event();
  EXPECT_TRUE(validation::WrittenItem(host, "拡大率").empty());
  EXPECT_EQ(CountOps(host, "ReplaceSpan"), 0);
  // No logger was handed over, so nothing is logged.
  EXPECT_TRUE(host.InfoLines().empty());
}

TEST_F(OddOrder, NoLoggerMeansSilentButWorking) {
  Load();
  ASSERT_TRUE(Module().Start(host, /*withLogger=*/false));
  Event();
  host.AddImage(0, 0, 9, L"C:\\p.png");
  host.AddObject(0, 10, 20);  // blocks the lengthening: a warning, were there a logger
  host.ClearCalls();
  Event();
  EXPECT_EQ(validation::WrittenItem(host, "拡大率").size(), 1u);
  EXPECT_EQ(CountOps(host, "ReplaceSpan"), 1);
  EXPECT_TRUE(host.InfoLines().empty());
  EXPECT_TRUE(host.WarnLines().empty());
}

TEST_F(OddOrder, EventsBeforeAnyPumpGiveOneScan) {
  Load();
  ASSERT_TRUE(Module().Start(host));
  host.AddImage(0, 0, 9, L"C:\\p.png");
  for (int i = 0; i < 50; ++i) {
    host.FireEvent(1);
    host.FireEvent(3);
  }
  host.FireReset();
  // Handlers never scan themselves.
  EXPECT_EQ(CountOps(host, "RunRead"), 0);
  Host::PumpUntilIdle();
  EXPECT_EQ(CountOps(host, "RunRead"), 1);
  // That scan was a baseline (the reset emptied nothing yet known): nothing aligned.
  EXPECT_EQ(CountOps(host, "RunEdit"), 0);
}

TEST_F(OddOrder, EventsFromOtherThreadsGiveOneScan) {
  Load();
  ASSERT_TRUE(Module().Start(host));
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 500; ++i) {
        if (t == 0 && i % 100 == 0)
          host.FireReset();
        else
          host.FireEvent(t % 2 == 0 ? 1 : 3);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(CountOps(host, "RunRead"), 0);
  Host::PumpUntilIdle();
  EXPECT_EQ(CountOps(host, "RunRead"), 1);
  // And the trigger is not stuck: the next event scans again.
  Event();
  EXPECT_EQ(CountOps(host, "RunRead"), 2);
}

TEST_F(OddOrder, RetryDiesWithTheWindow) {
  Load();
  ASSERT_TRUE(Module().Start(host));
  host.Refuse.RunRead = true;
  Event();
  Host::PumpMessages(750);
  int attempts = CountOps(host, "RunRead");
  EXPECT_GE(attempts, 2) << "a refused scan is repeated while the window lives";
  Module().UninitializePlugin();
  Host::PumpMessages(750);
  EXPECT_EQ(CountOps(host, "RunRead"), attempts);
}

// Only the window's own thread can destroy it: left alive, its retry timer
// would call into the module after the host unloaded it.
TEST_F(OddOrder, UninitializeFromAnotherThreadStopsTheRetry) {
  Load();
  ASSERT_TRUE(Module().Start(host));
  host.Refuse.RunRead = true;
  Event();
  ASSERT_EQ(CountOps(host, "RunRead"), 1);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    Module().UninitializePlugin();
    done = true;
  });
  while (!done)
    Host::PumpMessages(5);
  worker.join();
  const int attempts = CountOps(host, "RunRead");
  Host::PumpMessages(700);
  EXPECT_EQ(CountOps(host, "RunRead"), attempts);
  EXPECT_EQ(MessageWindows(kWindowClass), 0);
}

// Start-up, a first look at the scene and two pasted images, with the host
// taking a shut-down from another thread inside its first call named `op`,
// pumping messages meanwhile, and unloading the module at once: the
// plug-in's code still has to return there. Counted are the callbacks the
// plug-in asks for and the changes it makes after the shut-down.
int ActsAfterShutdownInside(const std::string& op) {
  testsupport::InstalledModule installed;
  hostsim::PluginModule& module = installed.Module();
  EXPECT_TRUE(installed.Load()) << module.Error();
  Host host;
  host.SetMedia(L"C:\\p.png", 0.0, 4000, 3000);
  std::optional<std::size_t> shutDownAt;
  host.OnCall = [&](const std::string& call) {
    if (call != op || shutDownAt) return;
    shutDownAt = host.Calls().size();
    std::atomic<bool> done{false};
    std::thread worker([&] {
      module.UninitializePlugin();
      done = true;
    });
    while (!done)
      Host::PumpMessages(5);
    worker.join();
    host.ForgetRegistrations();
    module.Unload();
  };
  module.InitializeLogger(host.Logger());
  module.InitializePlugin(host.Version());
  if (module.Loaded()) module.RegisterPlugin(const_cast<velmora::HostTable*>(host.Table()));
  host.FireEvent(1);
  Host::PumpUntilIdle();
  host.AddImage(0, 0, 9, L"C:\\p.png");
  host.AddImage(1, 0, 9, L"C:\\p.png");
  host.FireEvent(1);
  Host::PumpUntilIdle();
  EXPECT_TRUE(shutDownAt) << "the host never made the call";
  EXPECT_EQ(MessageWindows(kWindowClass), 0);
  host.OnCall = nullptr;
  const std::set<std::string> acts = {"RunRead", "RunEdit", "ReplaceSpan", "SetItem"};
  int count = 0;
  for (std::size_t i = shutDownAt.value_or(0); i < host.Calls().size(); ++i)
    count += static_cast<int>(acts.count(host.Calls()[i].Op));
  return count;
}

TEST_F(OddOrder, ShutdownFromAnotherThreadInsideAHostCallKeepsTheModule) {
  // The call, and what a shut-down there may still be followed by: only an
  // image already being fitted is finished (its length and three items).
  const std::pair<const char*, int> cases[] = {
      {"Info", 0},    {"RegisterConfigMenu", 0}, {"QueryTimelineInfo", 0},
      {"RunRead", 0}, {"GetObjectId", 0},        {"GetItem", 0},
      {"RunEdit", 0}, {"ReadMediaInfo", 4},
  };
  for (const auto& [op, acts] : cases) {
    SCOPED_TRACE(op);
    EXPECT_EQ(ActsAfterShutdownInside(op), acts);
  }
}

// The host shuts the plug-in down and starts it again inside a call of the
// automatic pass: an image already being fitted is finished as the pass
// began it, one not yet begun is left alone, and nothing of the pass reaches
// the new lifetime's log.
TEST_F(OddOrder, RestartInsideThePassLeavesNoImageHalfFitted) {
  struct Case {
    const char* op;
    bool fitted, refused;  // refused: ReplaceSpan, whose warning then goes nowhere
  } const cases[] = {{"GetSpan", false, false},    {"GetObjectId", false, false},
                     {"GetItem", true, false},     {"ReadMediaInfo", true, false},
                     {"PlacementOf", true, false}, {"ReplaceSpan", true, false},
                     {"SetItem", true, false},     {"ReplaceSpan", true, true}};
  const std::wstring ini = installed.Folder().File(L"Velmora.ini");
  Load();
  for (const Case& c : cases) {
    const std::string op = c.op;
    SCOPED_TRACE(op);
    ASSERT_TRUE(testsupport::WriteTextFile(ini, "[Setting]\r\n"));
    ASSERT_TRUE(Module().Start(host));
    // What the new start-up reads: neither length nor size.
    ASSERT_TRUE(testsupport::WriteTextFile(ini, "[Setting]\r\nEnabled=0\r\nFit=0\r\n"));
    host.Refuse.ReplaceSpan = c.refused;
    Event();  // the scene's first look
    SimObject& pasted = host.AddImage(0, 0, 149, L"C:\\p.png");
    bool inPass = false, restarted = false;
    host.OnCall = [&](const std::string& call) {
      inPass = inPass || call == "RunEdit";
      if (!inPass || call != op || restarted) return;
      restarted = true;
      Module().UninitializePlugin();
      Module().Start(host);
    };
    host.ClearLog();
    Event();
    host.OnCall = nullptr;
    host.Refuse.ReplaceSpan = false;
    EXPECT_TRUE(restarted);
    EXPECT_EQ(pasted.Length(), c.fitted && !c.refused ? 90 : 150);
    EXPECT_EQ(pasted.Item(hostsim::kDrawEffect, hostsim::kZoomItem),
              c.fitted ? "36.000" : "100.00");
    EXPECT_TRUE(host.WarnLines().empty());
    EXPECT_EQ(host.InfoLines(),
              std::vector<std::wstring>{L"本体バージョン 2011700 で読み込みました"});
    Module().UninitializePlugin();
    host.RemoveObject(pasted.Id);
  }
}

// The same for the object-menu command: the image in hand is finished, the
// next is not begun, and a command the host runs after the shut-down does
// nothing.
TEST_F(OddOrder, CommandBeginsNothingForAPluginThatIsGone) {
  const std::wstring ini = installed.Folder().File(L"Velmora.ini");
  Load();
  // Inside the first image's first SetItem, or the second image's first
  // EffectCount (the third of the command), or before the command.
  for (const std::string when :
       {"restart inside", "shut-down inside", "shut-down before", "restart at the next"}) {
    SCOPED_TRACE(when);
    ASSERT_TRUE(testsupport::WriteTextFile(ini, "[Setting]\r\n"));
    ASSERT_TRUE(Module().Start(host));
    ASSERT_TRUE(testsupport::WriteTextFile(ini, "[Setting]\r\nEnabled=0\r\nFit=0\r\n"));
    SimObject& a = host.AddImage(0, 0, 149, L"C:\\p.png");
    SimObject& b = host.AddImage(1, 0, 149, L"C:\\q.png");
    host.Select({&a, &b});
    bool done = when == "shut-down before";
    if (done) Module().UninitializePlugin();
    int counts = 0;
    host.OnCall = [&](const std::string& call) {
      const bool next = when == "restart at the next";
      if (done || call != (next ? "EffectCount" : "SetItem") || (next && ++counts != 3)) return;
      done = true;
      Module().UninitializePlugin();
      if (when != "shut-down inside") Module().Start(host);
    };
    host.ClearLog();
    ASSERT_TRUE(host.RunObjectMenu());
    host.OnCall = nullptr;
    const bool inHand = when != "shut-down before";
    EXPECT_EQ(a.Item(hostsim::kDrawEffect, hostsim::kZoomItem), inHand ? "36.000" : "100.00");
    EXPECT_EQ(a.Length(), inHand ? 90 : 150);
    EXPECT_TRUE(b.Length() == 150 && b.Item(hostsim::kDrawEffect, hostsim::kZoomItem) == "100.00");
    for (const std::wstring& line : host.InfoLines())
      EXPECT_EQ(line.find(L"選んだ画像"), std::wstring::npos)
          << "a count of a plug-in that is gone";
    Module().UninitializePlugin();
    host.RemoveObject(a.Id);
    host.RemoveObject(b.Id);
  }
}

// The host shuts the plug-in down inside a line it logs at load about its
// settings file: a registration without InitializePlugin registers nothing
// more, and a plug-in started again inside the load line gets no line of the
// one before.
TEST_F(OddOrder, ShutdownInsideALoadLineEndsTheLoad) {
  const std::wstring ini = installed.Folder().File(L"Velmora.ini");
  // Registration without InitializePlugin shut down inside a settings line;
  // a restart inside the load line, or inside CreateEditHandle.
  for (const std::string inside : {"Warn", "Info", "CreateEditHandle"}) {
    SCOPED_TRACE(inside);
    ASSERT_TRUE(testsupport::WriteTextFile(ini, "[Setting]\r\nFit=9\r\n"));
    Load();
    host.ClearLog();
    bool done = false;
    host.OnCall = [&](const std::string& call) {
      if (done || call != inside) return;
      done = true;
      Module().UninitializePlugin();
      if (inside == "Warn") return;
      ASSERT_TRUE(testsupport::WriteTextFile(ini, "[Setting]\r\nFit=2\r\n"));
      host.ClearLog();
      ASSERT_TRUE(Module().Start(host));
    };
    Module().InitializeLogger(host.Logger());
    if (inside != "Warn") Module().InitializePlugin(host.Version());
    if (inside != "Info") Register();  // for "Warn", without InitializePlugin
    host.OnCall = nullptr;
    EXPECT_TRUE(done);
    EXPECT_TRUE(host.WarnLines().size() == (inside == "Warn" ? 1u : 0u));
    EXPECT_EQ(MessageWindows(kWindowClass), inside == "Warn" ? 0 : 1);
    EXPECT_EQ(host.Registered().EditHandlesCreated, inside == "Warn"   ? 0
                                                    : inside == "Info" ? 1
                                                                       : 2);
    // The handlers of one lifetime only.
    EXPECT_EQ(host.Registered().Events.size(), inside == "Warn" ? 0u : 2u);
    Module().UninitializePlugin();
    host.ForgetRegistrations();
    Module().Unload();
  }
}

// After a shut-down that had to keep the module mapped, loading the file
// again gives the same image back: it must start as a fresh one, with no
// memory of the scene and no logger it was not given.
TEST_F(OddOrder, ModuleKeptMappedStartsAfreshWhenLoadedAgain) {
  Load();
  ASSERT_TRUE(Module().Start(host));
  Event();
  // Shut down from inside the survey, on the host's own thread.
  host.OnCallbackEnter = [&] {
    if (Module().Loaded()) Module().UninitializePlugin();
  };
  Event();
  host.OnCallbackEnter = nullptr;
  const HMODULE kept = Module().Handle();
  host.ForgetRegistrations();
  Module().Unload();

  SimObject& pasted = host.AddImage(0, 0, 9, L"C:\\p.png");  // while unloaded
  host.ClearLog();
  Load();
  ASSERT_EQ(Module().Handle(), kept) << "the module was not kept mapped";
  ASSERT_TRUE(Module().Start(host, /*withLogger=*/false));
  EXPECT_TRUE(host.InfoLines().empty()) << "a logger from before the reload was used";
  Event();
  EXPECT_EQ(pasted.Length(), 10) << "a fresh plug-in takes the image into its first baseline";
  EXPECT_EQ(CountOps(host, "RunEdit"), 0);
}

TEST_F(OddOrder, SecondRegisterLeavesOneWindow) {
  Load();
  ASSERT_TRUE(Module().Start(host));
  Register();
  EXPECT_EQ(MessageWindows(kWindowClass), 1);
  // Both registrations' handlers fire; their requests still give one scan.
  Event();
  EXPECT_EQ(CountOps(host, "RunRead"), 1);
}

struct EmptyMenuCase {
  const char* name;
  std::optional<std::int32_t> countOverride;
  int nullEntries;  // selection entries the host hands out as null
  std::vector<std::string> calls;
};

TEST_F(OddOrder, ObjectMenuWithNothingToAlign) {
  const EmptyMenuCase cases[] = {
      {"nothing selected, nothing focused",
       std::nullopt,
       0,
       {"SelectedCount()", "FocusedObject()"}},
      {"selected entries all null",
       std::nullopt,
       2,
       {"SelectedCount()", "SelectedObject(0)", "SelectedObject(1)", "FocusedObject()"}},
      {"a count of 3 with no objects behind it",
       3,
       0,
       {"SelectedCount()", "SelectedObject(0)", "SelectedObject(1)", "SelectedObject(2)",
        "FocusedObject()"}},
      {"a negative count", -2, 0, {"SelectedCount()", "FocusedObject()"}},
  };
  Load();
  ASSERT_TRUE(Module().Start(host));
  host.AddImage(0, 0, 9, L"C:\\p.png");  // on the timeline, but neither selected nor focused
  for (const EmptyMenuCase& c : cases) {
    SCOPED_TRACE(c.name);
    host.Select(std::vector<hostsim::SimObject*>(static_cast<std::size_t>(c.nullEntries), nullptr));
    host.SetFocus(nullptr);
    host.SelectedCountOverride = c.countOverride;
    host.ClearCalls();
    host.ClearLog();
    ASSERT_TRUE(host.RunObjectMenu());
    std::vector<std::string> expected = {"ObjectMenu(画像の長さと大きさを揃える)"};
    expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(host.CallTexts(), expected);
    EXPECT_EQ(host.InfoLines(), std::vector<std::wstring>{L"選んだ画像を 0 個揃えました"});
  }
}

}  // namespace
