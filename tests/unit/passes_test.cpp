// The automatic pass over pending ids and the object-menu command.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "align/passes.h"
#include "detect/detect_state.h"
#include "hostsim/host.h"
#include "plugin/host/host_state.h"
#include "plugin/host/timeline.h"
#include "plugin/shell.h"
#include "settings/settings.h"

using hostsim::Host;
using hostsim::SimObject;

namespace {

class PassesTest : public testing::Test {
 protected:
  void SetUp() override {
    velmora::ResetToLoadValues();
    // A reset leaves the forgetting to the next scan, and these tests run none.
    velmora::state::KnownObjects.clear();
    velmora::state::Logger = host_.Logger();
    host_.AddScene(0, hostsim::VideoFormat{1920, 1080, 30, 1});
    edit_ = host_.Table()->CreateEditHandle();
  }
  void TearDown() override { velmora::ResetToLoadValues(); }

  // Runs the automatic pass as a scan does: inside RunEdit, with the ids and
  // the format handed over in the scan's context.
  bool RunPass(const std::set<velmora::ObjectId>& pending,
               velmora::SceneFormat format = {1920, 1080, 30, 1}) {
    velmora::PendingPassJob job{&pending, {format, velmora::state::Settings, velmora::Lifetime()}};
    return velmora::RunLending(edit_->RunEdit, &velmora::AlignPendingPass, job);
  }

  // An image of the configured 90 frames, so only zoom and offset change.
  SimObject& Image(int layer, int first, const wchar_t* path = L"a.png") {
    host_.SetMedia(path, 0.0, 3840, 2160);
    return host_.AddImage(layer, first, first + 89, path);
  }
  bool Fitted(const SimObject& o) {
    return o.Item(hostsim::kDrawEffect, hostsim::kZoomItem) == std::optional<std::string>("50.000");
  }
  int Count(const std::string& op) {
    auto ops = host_.CallOps();
    return static_cast<int>(std::count(ops.begin(), ops.end(), op));
  }
  std::vector<std::string> ObjectAtOrAfterCalls() {
    std::vector<std::string> out;
    for (auto& c : host_.Calls()) {
      if (c.Op == "ObjectAtOrAfter") out.push_back(c.Args);
    }
    return out;
  }

  Host host_;
  velmora::EditHandle* edit_ = nullptr;
};

TEST_F(PassesTest, NegativeLastLayerWalksNothing) {
  host_.CurrentScene().LastLayer = -1;
  ASSERT_TRUE(RunPass({Image(0, 0).Id}));
  EXPECT_EQ(Count("ObjectAtOrAfter"), 0);
  ASSERT_EQ(host_.InfoLines().size(), 1u);
  EXPECT_EQ(host_.InfoLines()[0], L"貼った画像を 0 個揃えました");
}

TEST_F(PassesTest, FitsPendingObjectsOnly) {
  SimObject& a = Image(0, 0);
  SimObject& other = Image(0, 90);
  SimObject& b = Image(0, 180);
  SimObject& c = Image(2, 0);
  ASSERT_TRUE(RunPass({a.Id, b.Id, c.Id}));
  EXPECT_TRUE(Fitted(a));
  EXPECT_TRUE(Fitted(b));
  EXPECT_TRUE(Fitted(c));
  EXPECT_FALSE(Fitted(other));
  // The other object only had its span and identity read.
  std::string id = hostsim::ObjectRef(other.Id);
  std::vector<std::string> touching;
  for (auto& call : host_.Calls()) {
    if (call.Args.rfind(id, 0) == 0) touching.push_back(call.Op);
  }
  EXPECT_EQ(touching, (std::vector<std::string>{"GetSpan", "GetObjectId"}));
  EXPECT_EQ(host_.InfoLines().back(), L"貼った画像を 3 個揃えました");
  EXPECT_EQ(ObjectAtOrAfterCalls(),
            (std::vector<std::string>{"0,0", "0,90", "0,180", "0,270", "1,0", "2,0", "2,90"}));
}

TEST_F(PassesTest, WalkGoesOnFromTheEndReadBeforeFitting) {
  // 10 frames long, lengthened to 90 by the fit: the next frame asked is 10.
  host_.SetMedia(L"s.png", 0.0, 100, 100);
  SimObject& a = host_.AddImage(0, 0, 9, L"s.png");
  ASSERT_TRUE(RunPass({a.Id}));
  EXPECT_EQ(a.Length(), 90);
  auto asked = ObjectAtOrAfterCalls();
  ASSERT_GE(asked.size(), 2u);
  EXPECT_EQ(asked[1], "0,10");
  // The host hands the lengthened object out again; it is not fitted or
  // counted a second time.
  EXPECT_EQ(Count("SetItem"), 3);
  EXPECT_EQ(host_.InfoLines().back(), L"貼った画像を 1 個揃えました");
}

TEST_F(PassesTest, ObjectEndingBeforeTheAskedFrameIsFittedAndEndsTheLayer) {
  SimObject& a = Image(0, 0);
  SimObject& after = Image(0, 400);
  // Beyond the last layer, so only the odd answer below reaches it.
  SimObject& early = Image(7, 0);
  host_.CurrentScene().LastLayer = 0;
  host_.ObjectAtOrAfterHook = [&](int layer, int frame, velmora::ObjectHandle honest) {
    if (layer == 0 && frame == 90) return reinterpret_cast<velmora::ObjectHandle>(&early);
    return honest;
  };
  ASSERT_TRUE(RunPass({a.Id, early.Id, after.Id}));
  EXPECT_TRUE(Fitted(a));
  EXPECT_TRUE(Fitted(early));
  EXPECT_FALSE(Fitted(after));
  EXPECT_EQ(ObjectAtOrAfterCalls(), (std::vector<std::string>{"0,0", "0,90"}));
  EXPECT_EQ(host_.InfoLines().back(), L"貼った画像を 2 個揃えました");
}

TEST_F(PassesTest, LayerAboveTheLastIndexIsNotMet) {
  SimObject& high = Image(5, 0);
  host_.CurrentScene().LastLayer = 3;
  ASSERT_TRUE(RunPass({high.Id}));
  EXPECT_FALSE(Fitted(high));
  EXPECT_EQ(host_.InfoLines().back(), L"貼った画像を 0 個揃えました");
}

TEST_F(PassesTest, LastFrameAtTheLimitEndsTheLayer) {
  SimObject& a = host_.AddImage(0, INT_MAX - 89, INT_MAX, L"a.png");
  host_.SetMedia(L"a.png", 0.0, 3840, 2160);
  ASSERT_TRUE(RunPass({a.Id}));
  EXPECT_EQ(ObjectAtOrAfterCalls(), (std::vector<std::string>{"0," + std::to_string(0)}));
  EXPECT_TRUE(Fitted(a));
}

TEST_F(PassesTest, PassUsesTheHandedFormatNotTheScenes) {
  SimObject& a = Image(0, 0);
  ASSERT_TRUE(RunPass({a.Id}, {960, 540, 30, 1}));
  EXPECT_EQ(a.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "25.000");
}

TEST_F(PassesTest, NoLoggerNoLine) {
  velmora::state::Logger = nullptr;
  ASSERT_TRUE(RunPass({Image(0, 0).Id}));
  EXPECT_TRUE(host_.InfoLines().empty());
}

TEST_F(PassesTest, CommandFitsSelectedImagesWithBothEffects) {
  SimObject& a = Image(0, 0);
  SimObject& text = host_.AddObject(1, 0, 89);
  text.Effects[hostsim::kDrawEffect] = 1;
  SimObject& b = Image(2, 0);
  SimObject& focus = Image(3, 0);
  host_.Select({&a, &text, &b});
  host_.SetFocus(&focus);
  ASSERT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_TRUE(Fitted(a));
  EXPECT_TRUE(Fitted(b));
  EXPECT_FALSE(Fitted(focus));
  EXPECT_EQ(Count("FocusedObject"), 0);
  // No second effect count for an object lacking the first effect.
  EXPECT_EQ(Count("EffectCount"), 5);
  EXPECT_EQ(host_.InfoLines().back(), L"選んだ画像を 2 個揃えました");
}

TEST_F(PassesTest, CommandFallsBackToTheFocusedObject) {
  SimObject& focus = Image(0, 0);
  host_.SetFocus(&focus);
  ASSERT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_TRUE(Fitted(focus));
  EXPECT_EQ(host_.InfoLines().back(), L"選んだ画像を 1 個揃えました");
}

TEST_F(PassesTest, NullSelectionEntriesAreSkippedAndFocusIsTried) {
  SimObject& focus = Image(0, 0);
  host_.Select({nullptr, nullptr});
  host_.SetFocus(&focus);
  ASSERT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_EQ(Count("SelectedObject"), 2);
  EXPECT_TRUE(Fitted(focus));
}

TEST_F(PassesTest, FilteredOutSelectionDoesNotTryFocus) {
  SimObject& text = host_.AddObject(0, 0, 89);
  SimObject& focus = Image(1, 0);
  host_.Select({&text});
  host_.SetFocus(&focus);
  ASSERT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_EQ(Count("FocusedObject"), 0);
  EXPECT_FALSE(Fitted(focus));
  EXPECT_EQ(host_.InfoLines().back(), L"選んだ画像を 0 個揃えました");
}

TEST_F(PassesTest, NothingSelectedNothingFocusedStillLogsZero) {
  host_.SelectedCountOverride = -3;
  ASSERT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_EQ(Count("SelectedObject"), 0);
  EXPECT_EQ(Count("FocusedObject"), 1);
  EXPECT_EQ(host_.InfoLines().back(), L"選んだ画像を 0 個揃えました");
}

TEST_F(PassesTest, CommandUsesTheCurrentScenesFormat) {
  host_.AddScene(9, hostsim::VideoFormat{960, 540, 60, 1});
  host_.SwitchScene(9);
  SimObject& a = Image(0, 0);
  host_.Select({&a});
  ASSERT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_EQ(a.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "25.000");
  EXPECT_EQ(a.Length(), 180);  // 3 s at 60 fps
}

TEST_F(PassesTest, CommandIgnoresAutoAndTheRegistry) {
  velmora::state::Settings.Auto = false;
  SimObject& a = Image(0, 0);
  a.SetItem(hostsim::kDrawEffect, L"X", "12");
  host_.Select({&a});
  ASSERT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_TRUE(Fitted(a));
  EXPECT_EQ(a.Item(hostsim::kDrawEffect, L"X"), "0.00");
  EXPECT_TRUE(velmora::state::KnownObjects.empty());
}

}  // namespace
