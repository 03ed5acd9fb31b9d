// Automatic alignment as a host sees it from the loaded module: the host
// shows a scene, pastes an image and raises its event, and nothing else; the
// plug-in's own window and this thread's message loop do the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/module_fixture.h"
#include "tests/support/scoped_locale.h"
#include "tests/support/temp_dir.h"

using hostsim::Host;
using hostsim::SimObject;
using testsupport::InstalledModule;

namespace {

const std::wstring kOneAligned = L"貼った画像を 1 個揃えました";

int InfoCount(const Host& host, const std::wstring& line) {
  return static_cast<int>(std::count(host.InfoLines().begin(), host.InfoLines().end(), line));
}

// Default settings on a 1920 x 1080, 30 fps scene: 3 s = 90 frames, the
// whole 4000 x 3000 picture fitted (36 %), centred.
void ExpectAligned(const SimObject& image, std::int32_t first) {
  EXPECT_EQ(image.First, first);
  EXPECT_EQ(image.Last, first + 89);
  EXPECT_EQ(image.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "36.000");
  EXPECT_EQ(image.Item(hostsim::kDrawEffect, L"X"), "0.00");
  EXPECT_EQ(image.Item(hostsim::kDrawEffect, L"Y"), "0.00");
  EXPECT_EQ(image.Item(hostsim::kDrawEffect, hostsim::kAspectItem), "0.000");
}

// Shows the scene to the plug-in once, so that what is already there counts
// as known.
void ShowScene(Host& host) {
  int reads = host.RunReadCount();
  host.FireEvent(3);
  Host::PumpMessages(100);
  ASSERT_EQ(host.RunReadCount(), reads + 1);
  ASSERT_EQ(host.RunEditCount(), 0);
}

TEST(AutoAlignEndToEnd, PastedImageIsAlignedAfterTheHostEvent) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load()) << installed.Module().Error();
  Host host;
  host.SetMedia(L"C:\\素材\\前から.png", 0.0, 4000, 3000);
  SimObject& before = host.AddImage(1, 0, 59, L"C:\\素材\\前から.png");
  ASSERT_TRUE(installed.Module().Start(host)) << installed.Module().Error();
  ShowScene(host);

  host.SetMedia(L"C:\\素材\\写真.png", 0.0, 4000, 3000);
  SimObject& pasted = host.AddImage(0, 100, 249, L"C:\\素材\\写真.png");
  EXPECT_TRUE(host.FireEvent(1));
  EXPECT_EQ(host.RunEditCount(), 0) << "the event handler itself does not scan";
  Host::PumpMessages(200);

  ExpectAligned(pasted, 100);
  EXPECT_EQ(before.Length(), 60);
  EXPECT_EQ(before.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "100.00");
  EXPECT_EQ(InfoCount(host, kOneAligned), 1);
  EXPECT_TRUE(host.WarnLines().empty());
  EXPECT_TRUE(host.Violations().empty());
}

// Anything else in the host's process may switch the C runtime's locale to
// one with a decimal comma; the host's texts and the settings file keep ".".
TEST(AutoAlignEndToEnd, DecimalCommaLocaleChangesNothing) {
  testsupport::ScopedLocale comma(testsupport::kDecimalCommaLocale);
  ASSERT_TRUE(comma.Switched());
  InstalledModule installed;
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Velmora.ini"),
                                         "[Setting]\r\nSeconds=2.5\r\n"));
  ASSERT_TRUE(installed.Load()) << installed.Module().Error();
  Host host;
  ASSERT_TRUE(installed.Module().Start(host));
  ShowScene(host);

  host.SetMedia(L"C:\\p.png", 0.0, 4000, 3000);
  SimObject& pasted = host.AddImage(0, 0, 9, L"C:\\p.png");
  host.FireEvent(1);
  Host::PumpMessages(200);
  EXPECT_EQ(pasted.Length(), 75);  // 2.5 s at 30 fps
  EXPECT_EQ(pasted.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "36.000");
  EXPECT_EQ(pasted.Item(hostsim::kDrawEffect, L"Y"), "0.00");
}

TEST(AutoAlignEndToEnd, RefusedScanIsRepeatedWithoutAnotherEvent) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load()) << installed.Module().Error();
  Host host;
  ASSERT_TRUE(installed.Module().Start(host));
  ShowScene(host);

  host.SetMedia(L"C:\\p.png", 0.0, 4000, 3000);
  SimObject& pasted = host.AddImage(0, 0, 149, L"C:\\p.png");
  host.Refuse.RunEdit = true;
  host.FireEvent(1);
  Host::PumpMessages(450);
  EXPECT_EQ(pasted.Length(), 150);
  EXPECT_EQ(InfoCount(host, kOneAligned), 0);

  host.Refuse.RunEdit = false;
  Host::PumpMessages(700);
  ExpectAligned(pasted, 0);
  EXPECT_EQ(InfoCount(host, kOneAligned), 1);
  EXPECT_TRUE(host.Violations().empty());
}

// The pass remembers what it fitted by handle: an object the host hands out
// again is fitted once, but two objects the host gave one id are both new.
TEST(AutoAlignEndToEnd, TwoPastedImagesSharingAnIdAreBothAligned) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load()) << installed.Module().Error();
  Host host;
  ASSERT_TRUE(installed.Module().Start(host));
  ShowScene(host);

  host.SetMedia(L"C:\\a.png", 0.0, 4000, 3000);
  host.SetMedia(L"C:\\b.png", 0.0, 4000, 3000);
  SimObject& a = host.AddImage(0, 0, 89, L"C:\\a.png");
  SimObject& b = host.AddImage(0, 100, 189, L"C:\\b.png");
  b.Id = a.Id;
  host.FireEvent(1);
  Host::PumpMessages(200);
  ExpectAligned(a, 0);
  ExpectAligned(b, 100);
  EXPECT_EQ(InfoCount(host, L"貼った画像を 2 個揃えました"), 1);

  const std::size_t lines = host.InfoLines().size();
  host.FireEvent(1);
  Host::PumpMessages(100);
  EXPECT_EQ(host.InfoLines().size(), lines) << "the next scan aligns nothing";
  EXPECT_EQ(host.RunEditCount(), 1);
  EXPECT_TRUE(host.Violations().empty());
}

// Uninitialising takes the window class with the window, so nothing of the
// first load is left in the process for the second to run into.
TEST(AutoAlignEndToEnd, WorksAgainAfterTheModuleIsReloaded) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("load " + std::to_string(round + 1));
    InstalledModule installed;
    ASSERT_TRUE(installed.Load()) << installed.Module().Error();
    Host host;
    ASSERT_TRUE(installed.Module().Start(host));
    ShowScene(host);
    host.SetMedia(L"C:\\r.png", 0.0, 4000, 3000);
    SimObject& pasted = host.AddImage(0, 10, 159, L"C:\\r.png");
    host.FireEvent(1);
    Host::PumpMessages(200);
    ExpectAligned(pasted, 10);

    installed.Module().UninitializePlugin();
    WNDCLASSW wc;
    EXPECT_FALSE(GetClassInfoW(installed.Module().Handle(), L"VelmoraMessageWindow", &wc));
    // Later events reach no window.
    host.AddImage(1, 0, 29, L"C:\\r2.png");
    host.FireEvent(1);
    int reads = host.RunReadCount();
    Host::PumpMessages(100);
    EXPECT_EQ(host.RunReadCount(), reads);
  }
}

}  // namespace
