// The event and reset handlers called from many threads at once while the
// window's thread runs its message loop: scans run only on that thread, one
// at a time, a scan follows the last request, and no reset is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "tests/unit/detect_fixture.h"

using detecttest::DetectTest;
using hostsim::Host;

namespace {

constexpr int kThreads = 8;
constexpr int kCalls = 10000;
// Made by every thread while the window's thread stands still, so that the
// last requests are certainly still outstanding when the threads end.
constexpr int kFinalCalls = 100;
constexpr std::uint32_t kMarkerScene = 0xC0FFEE;

class ThreadTest : public DetectTest {
 protected:
  void SetUp() override {
    DetectTest::SetUp();
    owner_ = GetCurrentThreadId();
    // Every scan checks where it runs and whether another is still running;
    // it also dispatches a few messages, as a host that pumps inside its
    // callbacks would, to give a nested scan every chance.
    host_.OnCallbackEnter = [this] {
      if (GetCurrentThreadId() != owner_) foreignThread_ = true;
      if (inScan_) nested_ = true;
      inScan_ = true;
      ++scans_;
      MSG msg;
      for (int i = 0; i < 20 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        DispatchMessageW(&msg);
      }
      inScan_ = false;
    };
  }

  // Threads that each call `scan` and `reset` kCalls times; before their
  // last kFinalCalls they all meet at `allAtBarrier` and wait for `finalPhase`.
  static std::vector<std::thread> StartCallers(velmora::PlainHandler scan,
                                               velmora::PlainHandler reset, HANDLE allAtBarrier,
                                               HANDLE finalPhase, std::atomic<int>& atBarrier) {
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([=, &atBarrier] {
        for (int i = 0; i < kCalls; ++i) {
          if (i == kCalls - kFinalCalls) {
            if (++atBarrier == kThreads) SetEvent(allAtBarrier);
            WaitForSingleObject(finalPhase, INFINITE);
          }
          scan();
          reset();
          // Spread the calls out so that scans run between them; the calls in
          // between still come in bursts from all threads at once.
          if (i % 250 == 249) Sleep(1);
        }
      });
    }
    return threads;
  }

  // Runs the message loop until `event` is set; false when it never was.
  static bool PumpUntilSet(HANDLE event) {
    for (int rounds = 0; rounds < 100000; ++rounds) {
      DWORD woke = MsgWaitForMultipleObjects(1, &event, FALSE, 30000, QS_ALLINPUT);
      if (woke == WAIT_OBJECT_0) return true;
      if (woke != WAIT_OBJECT_0 + 1) return false;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    }
    return false;
  }

  DWORD owner_ = 0;
  bool foreignThread_ = false;
  bool inScan_ = false;
  bool nested_ = false;
  int scans_ = 0;
};

TEST_F(ThreadTest, ConcurrentRequestsAndResets) {
  const velmora::ObjectId image = Paste(0, 0, L"C:\\a.png").Id;
  ASSERT_EQ(host_.Registered().Events.size(), 2u);
  const velmora::PlainHandler scan = host_.Registered().Events[0].second;
  const velmora::PlainHandler reset = host_.Registered().Reset;
  ASSERT_NE(scan, nullptr);
  ASSERT_NE(reset, nullptr);

  HANDLE allAtBarrier = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE finalPhase = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> atBarrier{0};
  std::vector<std::thread> threads = StartCallers(scan, reset, allAtBarrier, finalPhase, atBarrier);

  // The loop runs while the threads call.
  const bool reachedBarrier = PumpUntilSet(allAtBarrier);
  EXPECT_TRUE(reachedBarrier);
  const int scansWhileRunning = scans_;

  // The loop stands still for the last calls.
  SetEvent(finalPhase);
  for (std::thread& thread : threads)
    thread.join();
  CloseHandle(allAtBarrier);
  CloseHandle(finalPhase);
  ASSERT_TRUE(reachedBarrier);

  EXPECT_EQ(velmora::state::ResetPending.load(), 1);
  velmora::state::KnownObjects[kMarkerScene].insert(1);
  EXPECT_EQ(DispatchQueuedScanRequests(), 1) << "the last calls left exactly one request";
  Host::PumpMessages(700);  // deferred scans come from the retry timer

  EXPECT_GT(scans_, scansWhileRunning);
  EXPECT_EQ(velmora::state::ResetPending.load(), 0);
  EXPECT_EQ(velmora::state::KnownObjects.count(kMarkerScene), 0u) << "the last reset was not seen";
  EXPECT_TRUE(Known(0, image));
  EXPECT_FALSE(nested_);
  EXPECT_FALSE(foreignThread_);
  EXPECT_EQ(Scans(), scans_);
  std::printf("[   INFO   ] %d scans while the threads ran, %d in all\n", scansWhileRunning,
              scans_);
}

TEST_F(ThreadTest, RequestsWhileTheWindowIsReplaced) {
  const velmora::PlainHandler scan = host_.Registered().Events[0].second;
  std::atomic<bool> stop{false};
  std::atomic<long> calls{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      while (!stop.load()) {
        scan();
        // Keeps eight spinning threads from starving the window's thread
        // on a small machine.
        if (++calls % 100 == 0) Sleep(1);
      }
    });
  }
  for (int round = 0; round < 40; ++round) {
    velmora::DestroyMessageWindow();
    Host::PumpMessages(1);
    velmora::CreateMessageWindow();
    Host::PumpMessages(4);
  }
  stop = true;
  for (std::thread& thread : threads)
    thread.join();
  Host::PumpMessages(400);

  EXPECT_GT(calls.load(), 0);
  ASSERT_NE(velmora::state::MessageWindow.load(), nullptr);
  EXPECT_EQ(detecttest::OwnMessageWindows(),
            std::vector<HWND>{velmora::state::MessageWindow.load()})
      << "an earlier window was left behind";
  const int before = scans_;
  host_.FireEvent(1);
  EXPECT_EQ(DispatchQueuedScanRequests(), 1);
  EXPECT_EQ(scans_, before + 1);
  EXPECT_FALSE(nested_);
  EXPECT_FALSE(foreignThread_);
}

}  // namespace
