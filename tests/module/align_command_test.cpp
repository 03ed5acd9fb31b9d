// The object-menu command as the host runs it on the loaded module.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/module_fixture.h"

using testsupport::InstalledModule;

namespace {

TEST(AlignCommandEndToEnd, RegisteredLabelAndSelectionAligned) {
  InstalledModule installed;
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Velmora.ini"),
                                         "[Setting]\r\nSeconds=2\r\nFit=2\r\nAlign=6\r\n"));
  ASSERT_TRUE(installed.Load());
  hostsim::Host host;
  host.AddScene(3, hostsim::VideoFormat{1920, 1080, 30000, 1001});
  host.SwitchScene(3);
  ASSERT_TRUE(installed.Module().Start(host));
  EXPECT_EQ(host.Registered().ObjectMenuLabel, L"画像の長さと大きさを揃える");

  host.SetMedia(L"D:\\素材\\portrait.png", 0.0, 1080, 1920);
  host.SetMedia(L"D:\\素材\\wide.png", 0.0, 4000, 1000);
  hostsim::SimObject& portrait = host.AddImage(0, 300, 419, L"D:\\素材\\portrait.png");
  hostsim::SimObject& wide = host.AddImage(1, 0, 9, L"D:\\素材\\wide.png");
  hostsim::SimObject& text = host.AddObject(2, 0, 50);
  host.Select({&portrait, &text, &wide});
  host.ClearLog();

  ASSERT_TRUE(host.RunObjectMenu());

  // 2 s at 29.97 fps is 59.94, so 60 frames from the first frame on.
  EXPECT_EQ(portrait.First, 300);
  EXPECT_EQ(portrait.Last, 359);
  EXPECT_EQ(wide.Length(), 60);
  EXPECT_EQ(text.Length(), 51);
  // Cover, bottom-left: the portrait overhangs downward, the wide image to the right.
  EXPECT_EQ(portrait.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "177.778");
  EXPECT_EQ(portrait.Item(hostsim::kDrawEffect, L"X"), "-0.00");
  EXPECT_EQ(portrait.Item(hostsim::kDrawEffect, L"Y"), "-1166.67");
  EXPECT_EQ(wide.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "108.000");
  EXPECT_EQ(wide.Item(hostsim::kDrawEffect, L"X"), "1200.00");
  EXPECT_EQ(wide.Item(hostsim::kDrawEffect, L"Y"), "0.00");
  ASSERT_EQ(host.InfoLines().size(), 1u);
  EXPECT_EQ(host.InfoLines()[0], L"選んだ画像を 2 個揃えました");
  EXPECT_TRUE(host.WarnLines().empty());
  EXPECT_TRUE(host.Violations().empty());
}

TEST(AlignCommandEndToEnd, RefusedLengthIsWarnedThroughTheLogger) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load());
  hostsim::Host host;
  ASSERT_TRUE(installed.Module().Start(host));
  hostsim::SimObject& image = host.AddImage(0, 0, 9, L"C:\\x.png");
  host.AddObject(0, 30, 40);
  host.Select({&image});
  ASSERT_TRUE(host.RunObjectMenu());
  EXPECT_EQ(image.Length(), 10);
  ASSERT_EQ(host.WarnLines().size(), 2u);
  EXPECT_EQ(host.WarnLines()[0], L"長さを変えられませんでした（後ろのオブジェクトと重なるなど）");
  EXPECT_EQ(host.WarnLines()[1], L"画像の大きさが取れなかったため、大きさと位置はそのままにします");
}

}  // namespace
