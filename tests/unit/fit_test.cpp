// Image fitting: the pure computations from tables and invariants, and
// FitImage's host calls, texts and warnings through the simulated host.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "align/fit.h"
#include "hostsim/host.h"
#include "plugin/host/decimal_text.h"
#include "plugin/host/host_state.h"
#include "plugin/shell.h"
#include "settings/settings.h"

using hostsim::Host;
using hostsim::SimObject;
using velmora::FramesFromSeconds;

namespace {

// ---- frames from seconds ----

struct LengthCase {
  int rate, scale;
  double seconds;
  int frames;
};

class LengthTable : public testing::TestWithParam<LengthCase> {};

TEST_P(LengthTable, FramesFromSeconds) {
  const LengthCase& c = GetParam();
  std::optional<std::int32_t> frames = FramesFromSeconds(c.seconds, c.rate, c.scale);
  ASSERT_TRUE(frames.has_value());
  EXPECT_EQ(*frames, c.frames);
}

INSTANTIATE_TEST_SUITE_P(Table, LengthTable,
                         testing::Values(LengthCase{30, 1, 3.0, 90},
                                         LengthCase{30000, 1001, 3.0, 90},
                                         LengthCase{60, 1, 2.5, 150}, LengthCase{25, 1, 0.5, 13},
                                         LengthCase{24, 1, 0.01, 1},
                                         LengthCase{30, 1, 1e300, INT_MAX},
                                         // Just below and at the point where the rounded count
                                         // leaves the 32-bit range.
                                         LengthCase{1, 1, 2147483646.4, 2147483646},
                                         LengthCase{1, 1, 2147483647.5, INT_MAX},
                                         LengthCase{1, 1, 4294967296.0, INT_MAX}));

TEST(Length, NoFrameRateGivesNothing) {
  EXPECT_FALSE(FramesFromSeconds(3.0, 30, 0).has_value());
  EXPECT_FALSE(FramesFromSeconds(3.0, 30, -1).has_value());
  EXPECT_FALSE(FramesFromSeconds(3.0, 0, 1).has_value());
  EXPECT_FALSE(FramesFromSeconds(3.0, -30, 1).has_value());
}

TEST(Length, LastFrameNeverOverflows) {
  EXPECT_EQ(velmora::LastFrameFor(100, 90), 189);
  EXPECT_EQ(velmora::LastFrameFor(0, 1), 0);
  EXPECT_EQ(velmora::LastFrameFor(2000000000, 2000000000), INT_MAX);
  EXPECT_EQ(velmora::LastFrameFor(INT_MAX, 1), INT_MAX);
  EXPECT_EQ(velmora::LastFrameFor(-5, 3), -3);
}

// ---- placement invariants ----

struct Shape {
  int sw, sh, iw, ih;
};

const Shape kShapes[] = {{1920, 1080, 4000, 3000}, {1920, 1080, 1366, 768},
                         {1920, 1080, 1080, 1920}, {1920, 1080, 1920, 1080},
                         {1280, 720, 16, 9},       {720, 1280, 8000, 6000},
                         {640, 480, 1, 1000},      {3840, 2160, 333, 777}};

TEST(PlacementInvariants, MirroringTheAnchorFlipsTheOffset) {
  for (const Shape& s : kShapes) {
    for (int fit = 1; fit <= 4; ++fit) {
      for (int align = 0; align < 9; ++align) {
        int row = align / 3, column = align % 3;
        auto p = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, fit, align);
        auto mx = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, fit, row * 3 + (2 - column));
        auto my = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, fit, (2 - row) * 3 + column);
        EXPECT_EQ(p.X, -mx.X) << fit << "/" << align;
        EXPECT_EQ(p.Y, mx.Y);
        EXPECT_EQ(p.Y, -my.Y) << fit << "/" << align;
        EXPECT_EQ(p.X, my.X);
        EXPECT_EQ(p.Scale, mx.Scale);
      }
    }
  }
}

TEST(PlacementInvariants, ContainNeverExceedsCoverAlwaysCovers) {
  for (const Shape& s : kShapes) {
    auto contain = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, 1, 4);
    EXPECT_LE(s.iw * contain.Scale, s.sw * (1 + 1e-12));
    EXPECT_LE(s.ih * contain.Scale, s.sh * (1 + 1e-12));
    // One side meets the screen exactly.
    EXPECT_TRUE(std::fabs(s.iw * contain.Scale - s.sw) < 1e-9 ||
                std::fabs(s.ih * contain.Scale - s.sh) < 1e-9);
    auto cover = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, 2, 4);
    EXPECT_GE(s.iw * cover.Scale, s.sw * (1 - 1e-12));
    EXPECT_GE(s.ih * cover.Scale, s.sh * (1 - 1e-12));
    auto width = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, 3, 4);
    EXPECT_NEAR(s.iw * width.Scale, s.sw, 1e-9);
    auto height = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, 4, 4);
    EXPECT_NEAR(s.ih * height.Scale, s.sh, 1e-9);
  }
}

TEST(PlacementInvariants, CentreAnchorGivesZeroOffset) {
  for (const Shape& s : kShapes) {
    for (int fit = 0; fit <= 5; ++fit) {
      auto p = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, fit, 4);
      EXPECT_EQ(p.X, 0.0);
      EXPECT_EQ(p.Y, 0.0);
    }
  }
}

TEST(PlacementInvariants, AnchoredEdgeMeetsTheScreenEdge) {
  // Column 0 puts the image's left edge on the screen's left edge, column 2
  // its right edge on the right edge; rows likewise from the top.
  for (const Shape& s : kShapes) {
    for (int fit = 1; fit <= 4; ++fit) {
      auto tl = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, fit, 0);
      auto br = velmora::ComputePlacement(s.sw, s.sh, s.iw, s.ih, fit, 8);
      double w = s.iw * tl.Scale, h = s.ih * tl.Scale;
      EXPECT_NEAR(tl.X - w / 2, -s.sw / 2.0, 1e-6);
      EXPECT_NEAR(tl.Y - h / 2, -s.sh / 2.0, 1e-6);
      EXPECT_NEAR(br.X + w / 2, s.sw / 2.0, 1e-6);
      EXPECT_NEAR(br.Y + h / 2, s.sh / 2.0, 1e-6);
    }
  }
}

TEST(PlacementInvariants, UnknownModeKeepsScaleOne) {
  EXPECT_EQ(velmora::ComputePlacement(1920, 1080, 4000, 3000, 7, 0).Scale, 1.0);
  EXPECT_EQ(velmora::ComputePlacement(1920, 1080, 4000, 3000, -1, 0).Scale, 1.0);
}

TEST(Formatting, FixedTextsKeepNegativeZero) {
  EXPECT_EQ(velmora::FixedText(-0.0, 2), "-0.00");
  EXPECT_EQ(velmora::FixedText(0.0, 2), "0.00");
  EXPECT_EQ(velmora::FixedText(-0.004, 2), "-0.00");
  EXPECT_EQ(velmora::FixedText(36.0, 3), "36.000");
  EXPECT_EQ(velmora::FixedText(1166.6666666, 2), "1166.67");
  EXPECT_EQ(velmora::FixedText(0.125, 2), "0.12");  // exact binary tie rounds to even
  EXPECT_EQ(velmora::FixedText(192000.0, 3), "192000.000");
}

// ---- FitImage through the simulated host ----

class FitImageTest : public testing::Test {
 protected:
  void SetUp() override {
    velmora::ResetToLoadValues();
    velmora::state::Logger = host_.Logger();
    host_.AddScene(0, hostsim::VideoFormat{1920, 1080, 30, 1});
  }
  void TearDown() override { velmora::ResetToLoadValues(); }

  // Runs FitImage on `object` inside an edit callback, with the scene's format.
  void Fit(SimObject& object, velmora::SceneFormat format = {1920, 1080, 30, 1}) {
    target_ = &object;
    format_ = format;
    host_.ClearCalls();
    ASSERT_TRUE(host_.Table()->CreateEditHandle()->RunEdit(&Callback));
    // The edit handle's creation and RunEdit itself are not FitImage's calls.
    auto& calls = host_.Calls();
    ASSERT_GE(calls.size(), 2u);
    calls.erase(calls.begin(), calls.begin() + 2);
  }

  static void VELMORA_HOSTCALL Callback(velmora::TimelineAccess* access) {
    const velmora::FitJob job{format_, velmora::state::Settings, velmora::Lifetime()};
    velmora::FitImage(access, reinterpret_cast<velmora::ObjectHandle>(target_), job);
  }

  std::string Item(const SimObject& o, const wchar_t* item) {
    return o.Item(hostsim::kDrawEffect, item).value_or("<null>");
  }

  Host host_;
  static SimObject* target_;
  static velmora::SceneFormat format_;
};

SimObject* FitImageTest::target_ = nullptr;
velmora::SceneFormat FitImageTest::format_{};

struct FitCase {
  int fit, align;
  const char* zoom;
  const char* x;
  const char* y;
};

class FitTable : public FitImageTest, public testing::WithParamInterface<FitCase> {};

TEST_P(FitTable, TextsWritten4000x3000) {
  const FitCase& c = GetParam();
  velmora::state::Settings.Fit = c.fit;
  velmora::state::Settings.Align = c.align;
  host_.SetMedia(L"C:\\p\\big.jpg", 0.0, 4000, 3000);
  SimObject& o = host_.AddImage(0, 0, 89, L"C:\\p\\big.jpg");
  Fit(o);
  EXPECT_EQ(Item(o, L"拡大率"), c.zoom);
  EXPECT_EQ(Item(o, L"X"), c.x);
  EXPECT_EQ(Item(o, L"Y"), c.y);
  EXPECT_TRUE(host_.WarnLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitTable,
    testing::Values(
        FitCase{1, 0, "36.000", "-240.00", "-0.00"}, FitCase{1, 4, "36.000", "0.00", "0.00"},
        FitCase{1, 8, "36.000", "240.00", "0.00"}, FitCase{1, 1, "36.000", "0.00", "-0.00"},
        FitCase{2, 0, "48.000", "-0.00", "180.00"}, FitCase{2, 4, "48.000", "0.00", "-0.00"},
        FitCase{2, 8, "48.000", "0.00", "-180.00"}, FitCase{2, 1, "48.000", "0.00", "180.00"},
        FitCase{3, 0, "48.000", "-0.00", "180.00"}, FitCase{3, 4, "48.000", "0.00", "-0.00"},
        FitCase{3, 8, "48.000", "0.00", "-180.00"}, FitCase{3, 1, "48.000", "0.00", "180.00"},
        FitCase{4, 0, "36.000", "-240.00", "-0.00"}, FitCase{4, 4, "36.000", "0.00", "0.00"},
        FitCase{4, 8, "36.000", "240.00", "0.00"}, FitCase{4, 1, "36.000", "0.00", "-0.00"}));

struct MoreCase {
  int iw, ih, fit, align;
  const char* zoom;
  const char* x;  // null: not checked
  const char* y;
};

class MoreFits : public FitImageTest, public testing::WithParamInterface<MoreCase> {};

TEST_P(MoreFits, Texts) {
  const MoreCase& c = GetParam();
  velmora::state::Settings.Fit = c.fit;
  velmora::state::Settings.Align = c.align;
  host_.SetMedia(L"img.png", 0.0, c.iw, c.ih);
  SimObject& o = host_.AddImage(0, 0, 89, L"img.png");
  Fit(o);
  EXPECT_EQ(Item(o, L"拡大率"), c.zoom);
  if (c.x) {
    EXPECT_EQ(Item(o, L"X"), c.x);
  }
  if (c.y) {
    EXPECT_EQ(Item(o, L"Y"), c.y);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, MoreFits,
                         testing::Values(MoreCase{1366, 768, 1, 0, "140.556", "-0.00", "-0.26"},
                                         MoreCase{1366, 768, 1, 8, "140.556", "0.00", "0.26"},
                                         MoreCase{1366, 768, 2, 0, "140.625", "0.47", "-0.00"},
                                         MoreCase{1366, 768, 2, 2, "140.625", "-0.47", "-0.00"},
                                         MoreCase{1366, 768, 2, 4, "140.625", "-0.00", "0.00"},
                                         MoreCase{1080, 1920, 1, 0, "56.250", "-656.25", nullptr},
                                         MoreCase{1080, 1920, 2, 0, "177.778", nullptr, "1166.67"},
                                         MoreCase{1920, 1080, 1, 0, "100.000", "-0.00", "-0.00"},
                                         MoreCase{1920, 1080, 2, 5, "100.000", "0.00", "0.00"},
                                         MoreCase{1920, 1080, 3, 6, "100.000", "-0.00", "0.00"},
                                         MoreCase{1920, 1080, 4, 2, "100.000", "0.00", "-0.00"}));

TEST_F(FitImageTest, CallOrderWhenLengthChanges) {
  host_.SetMedia(L"a.png", 0.0, 1920, 1080);
  SimObject& o = host_.AddImage(0, 100, 129, L"a.png");
  Fit(o);
  std::string id = hostsim::ObjectRef(o.Id);
  std::vector<std::string> expected = {
      "GetItem(" + id + ",画像ファイル,ファイル)",
      "ReadMediaInfo(a.png,24)",
      "GetSpan(" + id + ")",
      "PlacementOf(" + id + ")",
      "ReplaceSpan(" + id + ",189)",
      "SetItem(" + id + ",標準描画,拡大率,100.000)",
      "SetItem(" + id + ",標準描画,X,0.00)",
      "SetItem(" + id + ",標準描画,Y,0.00)",
  };
  EXPECT_EQ(host_.CallTexts(), expected);
  EXPECT_EQ(o.First, 100);
  EXPECT_EQ(o.Last, 189);
}

TEST_F(FitImageTest, MatchingLengthAsksNoPlacement) {
  host_.SetMedia(L"a.png", 0.0, 1920, 1080);
  SimObject& o = host_.AddImage(0, 10, 99, L"a.png");
  Fit(o);
  std::vector<std::string> ops = host_.CallOps();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "GetSpan"), 1);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "PlacementOf"), 0);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "ReplaceSpan"), 0);
}

TEST_F(FitImageTest, LengthOffAsksNoSpanButStillReadsMedia) {
  velmora::state::Settings.Enabled = false;
  host_.SetMedia(L"a.png", 0.0, 1920, 1080);
  SimObject& o = host_.AddImage(0, 0, 9, L"a.png");
  Fit(o);
  std::vector<std::string> ops = host_.CallOps();
  EXPECT_EQ(std::vector<std::string>(ops.begin(), ops.begin() + 2),
            (std::vector<std::string>{"GetItem", "ReadMediaInfo"}));
  for (const char* op : {"GetSpan", "PlacementOf", "ReplaceSpan"}) {
    EXPECT_EQ(std::count(ops.begin(), ops.end(), op), 0) << op;
  }
  EXPECT_EQ(o.Length(), 10);
}

TEST_F(FitImageTest, FramesUnitIgnoresRateAndScale) {
  velmora::state::Settings.Unit = 1;
  velmora::state::Settings.Frames = 45;
  host_.SetMedia(L"a.png", 0.0, 100, 100);
  SimObject& o = host_.AddImage(0, 0, 9, L"a.png");
  Fit(o, {1920, 1080, 30, 0});
  EXPECT_EQ(o.Length(), 45);
}

TEST_F(FitImageTest, NoFrameRateInSecondsLeavesLengthSilently) {
  host_.SetMedia(L"a.png", 0.0, 100, 100);
  for (const velmora::SceneFormat format :
       {velmora::SceneFormat{1920, 1080, 30, 0}, velmora::SceneFormat{1920, 1080, 0, 1},
        velmora::SceneFormat{1920, 1080, -30, 1}}) {
    SimObject& o = host_.AddImage(0, 0, 9, L"a.png");
    Fit(o, format);
    EXPECT_EQ(o.Length(), 10);
    EXPECT_TRUE(host_.WarnLines().empty());
    EXPECT_EQ(Item(o, L"拡大率"), "1080.000");
    host_.RemoveObject(o.Id);
  }
}

TEST_F(FitImageTest, MediaWithDurationKeepsLengthButIsPlaced) {
  host_.SetMedia(L"anim.gif", 2.5, 960, 540);
  SimObject& o = host_.AddImage(0, 0, 9, L"anim.gif");
  Fit(o);
  EXPECT_EQ(o.Length(), 10);
  EXPECT_EQ(Item(o, L"拡大率"), "200.000");
}

TEST_F(FitImageTest, EmptyPathReadsNoMediaAndWarnsAboutSize) {
  SimObject& o = host_.AddImage(0, 0, 9, L"");
  Fit(o);
  std::vector<std::string> ops = host_.CallOps();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "ReadMediaInfo"), 0);
  EXPECT_EQ(o.Length(), 90);
  ASSERT_EQ(host_.WarnLines().size(), 1u);
  EXPECT_EQ(host_.WarnLines()[0], velmora::kSizeMissingWarning);
  EXPECT_EQ(Item(o, L"拡大率"), "100.00");  // untouched
}

TEST_F(FitImageTest, NullPathIsLikeEmpty) {
  SimObject& o = host_.AddImage(0, 0, 9, L"x.png");
  o.ClearItem(hostsim::kImageEffect, hostsim::kFileItem);
  Fit(o);
  std::vector<std::string> ops = host_.CallOps();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "ReadMediaInfo"), 0);
  EXPECT_EQ(host_.WarnLines().size(), 1u);
}

TEST_F(FitImageTest, FitOffNeverWarnsEvenWithoutMedia) {
  velmora::state::Settings.Fit = 0;
  SimObject& o = host_.AddImage(0, 0, 9, L"missing.png");
  Fit(o);
  EXPECT_TRUE(host_.WarnLines().empty());
  std::vector<std::string> ops = host_.CallOps();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "SetItem"), 0);
}

TEST_F(FitImageTest, SizeWarningCases) {
  struct Case {
    int iw, ih;
    velmora::SceneFormat format;
  } cases[] = {{0, 100, {1920, 1080, 30, 1}},
               {100, -1, {1920, 1080, 30, 1}},
               {100, 100, {0, 1080, 30, 1}},
               {100, 100, {1920, -5, 30, 1}}};
  for (const Case& c : cases) {
    host_.ClearLog();
    host_.SetMedia(L"s.png", 0.0, c.iw, c.ih);
    SimObject& o = host_.AddImage(1, 0, 9, L"s.png");
    Fit(o, c.format);
    ASSERT_EQ(host_.WarnLines().size(), 1u);
    EXPECT_EQ(host_.WarnLines()[0], velmora::kSizeMissingWarning);
    EXPECT_EQ(Item(o, L"X"), "0.0");
    EXPECT_EQ(o.Length(), 90) << "the length step does not depend on the size";
    host_.RemoveObject(o.Id);
  }
}

TEST_F(FitImageTest, RefusedLengthWarnsAndStillPlaces) {
  host_.SetMedia(L"a.png", 0.0, 1920, 1080);
  SimObject& o = host_.AddImage(0, 0, 9, L"a.png");
  host_.AddImage(0, 20, 29, L"b.png");  // in the way of 90 frames
  velmora::state::Settings.Align = 0;
  velmora::state::Settings.Fit = 2;
  Fit(o);
  EXPECT_EQ(o.Length(), 10);
  ASSERT_EQ(host_.WarnLines().size(), 1u);
  EXPECT_EQ(host_.WarnLines()[0], velmora::kLengthRefusedWarning);
  EXPECT_EQ(Item(o, L"拡大率"), "100.000");
}

TEST_F(FitImageTest, WithoutLoggerWarningsAreDropped) {
  velmora::state::Logger = nullptr;
  host_.Refuse.ReplaceSpan = true;
  SimObject& o = host_.AddImage(0, 0, 9, L"");
  Fit(o);
  EXPECT_TRUE(host_.WarnLines().empty());
  std::vector<std::string> ops = host_.CallOps();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "ReplaceSpan"), 1);
}

TEST_F(FitImageTest, HugeSecondsSaturateAndNeverAskBelowFirstFrame) {
  velmora::state::Settings.Seconds = 1e12;
  host_.SetMedia(L"a.png", 0.0, 10, 10);
  SimObject& o = host_.AddImage(0, 1000, 1009, L"a.png");
  Fit(o);
  EXPECT_EQ(o.Last, INT_MAX);
  for (const hostsim::HostCall& call : host_.Calls()) {
    if (call.Op == "ReplaceSpan") {
      EXPECT_EQ(call.Args, hostsim::ObjectRef(o.Id) + "," + std::to_string(INT_MAX));
    }
  }
}

TEST_F(FitImageTest, UsesTheFormatPassedIn) {
  host_.SetMedia(L"a.png", 0.0, 1000, 1000);
  SimObject& o = host_.AddImage(0, 0, 9, L"a.png");
  Fit(o, {500, 2000, 60, 1});
  EXPECT_EQ(o.Length(), 180);
  EXPECT_EQ(Item(o, L"拡大率"), "50.000");
}

}  // namespace
