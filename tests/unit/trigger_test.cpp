// Host events become scans through the plug-in's message-only window, run by
// this thread's real message loop: coalescing, the 300 ms retry, resets, the
// window procedure's other messages, and dispatch from inside a callback.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/detect_fixture.h"

using detecttest::DetectTest;
using detecttest::kOneAligned;
using hostsim::Host;
using hostsim::SimObject;

namespace {

using Clock = std::chrono::steady_clock;

class TriggerTest : public DetectTest {
 protected:
  HWND Window() const { return velmora::state::MessageWindow.load(); }

  static bool ScanRequestQueued() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, velmora::kScanRequest, velmora::kScanRequest, PM_NOREMOVE) !=
           0;
  }

  // Runs the message loop for `ms` and notes, in milliseconds from now, when
  // each scan ran. Counts the retry timer's ticks in retryTicks_.
  std::vector<double> PumpNotingScans(unsigned ms) {
    std::vector<double> at;
    const Clock::time_point start = Clock::now();
    const auto elapsed = [&] {
      return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        int before = Scans();
        retryTicks_ +=
            msg.message == WM_TIMER && msg.hwnd == Window() && msg.wParam == velmora::kRetryTimerId;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        for (int i = before; i < Scans(); ++i)
          at.push_back(elapsed());
      }
      double now = elapsed();
      if (now >= ms) return at;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms - now) + 1, QS_ALLINPUT);
    }
  }

  // The first scan of the scene, so that later pastes count as new.
  void Baseline() {
    host_.FireEvent(1);
    Host::PumpUntilIdle();
    ASSERT_EQ(Scans(), 1);
    host_.ClearCalls();
  }

  int retryTicks_ = 0;
};

TEST_F(TriggerTest, WindowIsMessageOnlyAndOwnedByThisThread) {
  ASSERT_NE(Window(), nullptr);
  EXPECT_EQ(detecttest::OwnMessageWindows(), std::vector<HWND>{Window()});
  EXPECT_EQ(GetWindowThreadProcessId(Window(), nullptr), GetCurrentThreadId());
  EXPECT_EQ(host_.Registered().Events.size(), 2u);
}

TEST_F(TriggerTest, ManyEventsBeforeTheLoopRunsGiveOneScan) {
  for (int i = 0; i < 25; ++i) {
    EXPECT_TRUE(host_.FireEvent(1));
    EXPECT_TRUE(host_.FireEvent(3));
  }
  EXPECT_EQ(Scans(), 0) << "the handlers never scan themselves";
  EXPECT_EQ(DispatchQueuedScanRequests(), 1);
  EXPECT_EQ(Scans(), 1);
  Host::PumpMessages(100);
  EXPECT_EQ(Scans(), 1);
}

TEST_F(TriggerTest, EventDuringAScanGivesExactlyOneMore) {
  int entered = 0;
  host_.OnCallbackEnter = [&] {
    if (++entered == 1) {
      for (int i = 0; i < 5; ++i)
        host_.FireEvent(3);
    }
  };
  host_.FireEvent(1);
  Host::PumpMessages(150);
  EXPECT_EQ(Scans(), 2);
  EXPECT_EQ(entered, 2);
  Host::PumpMessages(100);
  EXPECT_EQ(Scans(), 2);
}

TEST_F(TriggerTest, RefusedScanRepeatsEvery300msUntilItSucceeds) {
  host_.Refuse.RunRead = true;
  host_.FireEvent(1);
  std::vector<double> refused = PumpNotingScans(1350);
  ASSERT_GE(refused.size(), 3u);
  std::string intervals;
  for (std::size_t i = 1; i < refused.size(); ++i) {
    double gap = refused[i] - refused[i - 1];
    intervals += std::to_string(std::lround(gap)) + " ";
    EXPECT_GE(gap, 250.0) << "retry " << i;
    EXPECT_LE(gap, 600.0) << "retry " << i;
  }
  std::printf("[   INFO   ] retry intervals (ms): %s\n", intervals.c_str());
  RecordProperty("RetryIntervalsMs", intervals);

  host_.Refuse.RunRead = false;
  const int before = Scans();
  std::vector<double> accepted = PumpNotingScans(1300);
  ASSERT_EQ(accepted.size(), 1u) << "only the first successful scan, then no repeats";
  EXPECT_LE(accepted[0], 600.0);
  EXPECT_EQ(Scans(), before + 1);
}

TEST_F(TriggerTest, RefusedEditIsRetriedAndAlignsOnce) {
  Baseline();
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  host_.Refuse.RunEdit = true;
  host_.FireEvent(1);
  std::vector<double> refused = PumpNotingScans(700);
  EXPECT_GE(refused.size(), 2u);
  EXPECT_TRUE(Untouched(pasted));
  host_.Refuse.RunEdit = false;
  std::vector<double> accepted = PumpNotingScans(1000);
  EXPECT_EQ(accepted.size(), 1u);
  EXPECT_TRUE(Aligned(pasted));
  EXPECT_EQ(InfoCount(kOneAligned), 1);
}

TEST_F(TriggerTest, OnlyTimerOneScans) {
  EXPECT_EQ(SendMessageW(Window(), WM_TIMER, 2, 0), 0);
  EXPECT_EQ(Scans(), 0);
  // A real timer with another id ticks on and is ignored every time.
  ASSERT_NE(SetTimer(Window(), 2, 20, nullptr), 0u);
  Host::PumpMessages(200);
  KillTimer(Window(), 2);
  EXPECT_EQ(Scans(), 0);

  EXPECT_EQ(SendMessageW(Window(), WM_TIMER, velmora::kRetryTimerId, 0), 0);
  EXPECT_EQ(Scans(), 1);
}

TEST_F(TriggerTest, OtherMessagesGoToTheDefaultProcedure) {
  const wchar_t* title = L"Velmora probe";
  EXPECT_EQ(SendMessageW(Window(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title)), TRUE);
  EXPECT_EQ(SendMessageW(Window(), WM_GETTEXTLENGTH, 0, 0), 13);
  wchar_t back[32] = {};
  EXPECT_EQ(SendMessageW(Window(), WM_GETTEXT, 32, reinterpret_cast<LPARAM>(back)), 13);
  EXPECT_STREQ(back, title);
  // Neighbours of the scan request are not scan requests. The one above asks
  // a window already let go of to close; the window in use stays.
  static_assert(velmora::kCloseRequest == velmora::kScanRequest + 1);
  SendMessageW(Window(), velmora::kCloseRequest, 0, 0);
  EXPECT_TRUE(IsWindow(Window()));
  EXPECT_EQ(SendMessageW(Window(), WM_APP, 0, 0), DefWindowProcW(Window(), WM_APP, 0, 0));
  EXPECT_EQ(Scans(), 0);
}

TEST_F(TriggerTest, ResetWhileARequestIsOutstandingPostsNothingMore) {
  Paste(0, 0, L"C:\\a.png");
  Baseline();
  velmora::state::KnownObjects[99].insert(5);
  SimObject& pasted = Paste(1, 0, L"C:\\b.png");
  host_.FireEvent(1);
  EXPECT_TRUE(host_.FireReset());
  EXPECT_EQ(velmora::state::ResetPending.load(), 1);
  EXPECT_EQ(DispatchQueuedScanRequests(), 1);
  EXPECT_EQ(Scans(), 1);
  EXPECT_EQ(velmora::state::ResetPending.load(), 0);
  // Emptied first, then the scene's baseline: the new image only became known.
  EXPECT_EQ(velmora::state::KnownObjects.count(99), 0u);
  EXPECT_TRUE(Known(0, pasted.Id));
  EXPECT_TRUE(Untouched(pasted));
  Host::PumpMessages(50);
  EXPECT_EQ(Scans(), 1);
}

TEST_F(TriggerTest, WithoutWindowRequestsOnlyMarkTheReset) {
  velmora::DestroyMessageWindow();
  ASSERT_EQ(Window(), nullptr);
  WNDCLASSW wc;
  EXPECT_FALSE(GetClassInfoW(velmora::state::ModuleInstance, velmora::kMessageWindowClass, &wc))
      << "the class goes with the window";
  EXPECT_TRUE(host_.FireReset());
  EXPECT_TRUE(host_.FireEvent(1));
  EXPECT_TRUE(host_.FireEvent(3));
  EXPECT_EQ(velmora::state::ResetPending.load(), 1);
  EXPECT_FALSE(ScanRequestQueued());
  Host::PumpMessages(50);
  EXPECT_EQ(Scans(), 0);

  // A new window works, and its first scan carries out the reset.
  velmora::state::KnownObjects[99].insert(5);
  velmora::CreateMessageWindow();
  ASSERT_NE(Window(), nullptr);
  host_.FireEvent(1);
  EXPECT_EQ(DispatchQueuedScanRequests(), 1);
  EXPECT_EQ(Scans(), 1);
  EXPECT_EQ(velmora::state::ResetPending.load(), 0);
  EXPECT_EQ(velmora::state::KnownObjects.count(99), 0u);
}

TEST_F(TriggerTest, RequestQueuedForADestroyedWindowDoesNotBlockTheNextOne) {
  host_.FireEvent(1);
  velmora::DestroyMessageWindow();
  EXPECT_FALSE(ScanRequestQueued());
  velmora::CreateMessageWindow();
  host_.FireEvent(1);
  EXPECT_EQ(DispatchQueuedScanRequests(), 1);
  EXPECT_EQ(Scans(), 1);
}

// Destroyed from a thread while this one does not answer: the window outlives
// the call, and what still reaches it scans nothing until its thread ends it.
TEST_F(TriggerTest, WindowLeftByAnotherThreadScansNothing) {
  const HWND window = Window();
  std::thread([] { velmora::DestroyMessageWindow(); }).join();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(Window(), nullptr);
  SendMessageW(window, velmora::kScanRequest, 0, 0);
  SendMessageW(window, WM_TIMER, velmora::kRetryTimerId, 0);
  EXPECT_EQ(Scans(), 0);
  Host::PumpUntilIdle();
  EXPECT_FALSE(IsWindow(window)) << "its own thread destroys it";
  velmora::CreateMessageWindow();  // as the fixture expects to find it
}

// A host that runs the message loop inside RunRead: the request dispatched
// there starts no scan inside the running one, and a scan still follows.
TEST_F(TriggerTest, RequestDispatchedInsideACallbackIsDeferred) {
  Baseline();
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  bool inHook = false;
  bool nested = false;
  int entered = 0;
  int scansDuringPump = -1;
  host_.OnCallbackEnter = [&] {
    if (inHook) nested = true;
    inHook = true;
    if (++entered == 1) {
      int before = Scans();
      host_.FireEvent(1);
      Host::PumpMessages(20);
      scansDuringPump = Scans() - before;
    }
    inHook = false;
  };
  host_.FireEvent(1);
  std::vector<double> at = PumpNotingScans(900);
  EXPECT_FALSE(nested);
  EXPECT_EQ(scansDuringPump, 0);
  ASSERT_EQ(at.size(), 2u);
  // The follow-up comes from the retry timer armed instead of nesting, not
  // straight after the running scan.
  EXPECT_GE(at[1] - at[0], 150.0);
  EXPECT_LE(at[1] - at[0], 700.0);
  EXPECT_TRUE(Aligned(pasted));
  EXPECT_EQ(InfoCount(kOneAligned), 1);
}

// The retry timer ticking while a scan started by an event runs inside the
// host's callback: deferred, not nested, and one more scan follows.
TEST_F(TriggerTest, TimerTickInsideACallbackIsDeferred) {
  Baseline();
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  host_.Refuse.RunEdit = true;
  host_.FireEvent(1);
  ASSERT_EQ(DispatchQueuedScanRequests(), 1);  // refused: timer armed
  ASSERT_EQ(Scans(), 1);

  bool inHook = false;
  bool nested = false;
  int readsEntered = 0;
  int scansDuringPump = -1;
  host_.OnCallbackEnter = [&] {
    if (inHook) nested = true;
    inHook = true;
    if (host_.Calls().back().Op == "RunRead" && ++readsEntered == 1) {
      scansDuringPump = static_cast<int>(PumpNotingScans(450).size());
      host_.Refuse.RunEdit = false;
    }
    inHook = false;
  };
  host_.FireEvent(1);
  ASSERT_EQ(DispatchQueuedScanRequests(), 1);
  ASSERT_GE(retryTicks_, 1) << "the armed timer never ticked inside the callback";
  EXPECT_EQ(scansDuringPump, 0);
  EXPECT_FALSE(nested);
  EXPECT_TRUE(Aligned(pasted));
  EXPECT_EQ(Scans(), 2);
  std::vector<double> after = PumpNotingScans(800);
  EXPECT_EQ(after.size(), 1u) << "the deferred tick still leads to a scan";
  EXPECT_FALSE(nested);
  EXPECT_EQ(InfoCount(kOneAligned), 1);
}

}  // namespace
