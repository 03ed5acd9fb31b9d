// Shared set-up of the change-detection tests: the plug-in registered
// in-process with a simulated host (so the message window is real and owned
// by the test thread), and the process-wide state of the scan put back
// between tests.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "align/passes.h"
#include "detect/detect_state.h"
#include "detect/scan.h"
#include "detect/trigger.h"
#include "hostsim/host.h"
#include "plugin/host/host_state.h"
#include "plugin/shell.h"
#include "settings/settings.h"
#include "tests/support/module_fixture.h"

namespace detecttest {

// The automatic pass's log line after aligning one image.
inline const std::wstring kOneAligned = L"貼った画像を 1 個揃えました";

inline velmora::EditHandle* VELMORA_HOSTCALL NoEditHandle() { return nullptr; }

// A host table like `base` whose CreateEditHandle gives null.
inline velmora::HostTable WithoutEditHandle(const velmora::HostTable& base) {
  velmora::HostTable table = base;
  table.CreateEditHandle = &NoEditHandle;
  return table;
}

// The plug-in's message windows in this process.
inline std::vector<HWND> OwnMessageWindows() {
  return testsupport::MessageWindowsInThisProcess(velmora::kMessageWindowClass);
}

class DetectTest : public testing::Test {
 protected:
  // Takes every ScanRequest out of the queue, dispatches them, and says how
  // many there were.
  static int DispatchQueuedScanRequests() {
    std::vector<MSG> taken;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, velmora::kScanRequest, velmora::kScanRequest, PM_REMOVE)) {
      taken.push_back(msg);
    }
    for (const MSG& m : taken)
      DispatchMessageW(&m);
    return static_cast<int>(taken.size());
  }

  void SetUp() override {
    velmora::ResetToLoadValues();
    velmora::state::Logger = host_.Logger();
    velmora::Register(host_.Table());
    host_.ClearCalls();
  }

  // Leaves the plug-in as before any registration: no window, and no edit
  // handle through which a later test could reach this test's host.
  void TearDown() override {
    host_.OnCallbackEnter = nullptr;
    velmora::Uninitialize();
    hostsim::Host::PumpUntilIdle();
    velmora::ResetToLoadValues();
    EXPECT_TRUE(host_.Violations().empty()) << host_.Violations().front();
  }

  // Every scan that got past the edit-handle check asks for the timeline
  // info exactly once, whether the host then refuses it or not.
  int Scans() const { return Count("QueryTimelineInfo"); }
  int Count(const std::string& op) const {
    auto ops = host_.CallOps();
    return static_cast<int>(std::count(ops.begin(), ops.end(), op));
  }

  // An image object as the host pastes it (default placement) over a
  // 4000 x 3000 picture. Longer than the configured length, so aligning
  // shortens it: a lengthened object may be handed out again by the host's
  // walk and counted twice in the pass's line.
  static constexpr std::int32_t kPastedLength = 150;
  hostsim::SimObject& Paste(std::int32_t layer, std::int32_t first, const std::wstring& path) {
    host_.SetMedia(path, 0.0, 4000, 3000);
    return host_.AddImage(layer, first, first + kPastedLength - 1, path);
  }

  // Aligned with the default settings on the default 1920 x 1080, 30 fps
  // scene: 3 s = 90 frames, whole image fitted (36 %), centred.
  static bool Aligned(const hostsim::SimObject& object) {
    return object.Length() == 90 &&
           object.Item(hostsim::kDrawEffect, hostsim::kZoomItem) ==
               std::optional<std::string>("36.000") &&
           object.Item(hostsim::kDrawEffect, L"X") == std::optional<std::string>("0.00") &&
           object.Item(hostsim::kDrawEffect, L"Y") == std::optional<std::string>("0.00");
  }
  static bool Untouched(const hostsim::SimObject& object) {
    return object.Length() == kPastedLength &&
           object.Item(hostsim::kDrawEffect, hostsim::kZoomItem) ==
               std::optional<std::string>("100.00");
  }

  static bool Known(std::uint32_t scene, velmora::ObjectId id) {
    auto& registry = velmora::state::KnownObjects;
    auto it = registry.find(scene);
    return it != registry.end() && it->second.contains(id);
  }

  int InfoCount(const std::wstring& line) const {
    auto& lines = host_.InfoLines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  hostsim::Host host_;
};

}  // namespace detecttest
