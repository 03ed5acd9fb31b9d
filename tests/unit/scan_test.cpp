// One scan at a time, called directly: what it learns per scene, which new
// objects it hands to the automatic pass, and what a refusal leaves behind.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "detect/survey.h"
#include "plugin/host/timeline.h"
#include "tests/unit/detect_fixture.h"

using detecttest::DetectTest;
using detecttest::kOneAligned;
using hostsim::SimObject;
using velmora::RunScan;

namespace {

const std::wstring kTwoAligned = L"貼った画像を 2 個揃えました";

class ScanTest : public DetectTest {
 protected:
  // The first scan of the current scene, which only learns.
  void Baseline() {
    ASSERT_TRUE(RunScan());
    ASSERT_EQ(host_.RunEditCount(), 0);
  }
};

TEST_F(ScanTest, FirstScanOfASceneOnlyLearns) {
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  SimObject& plain = host_.AddObject(1, 0, 9);
  SimObject& moved = Paste(2, 0, L"C:\\b.png");
  moved.SetItem(hostsim::kDrawEffect, L"X", "12");
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(host_.RunReadCount(), 1);
  EXPECT_EQ(host_.RunEditCount(), 0);
  EXPECT_TRUE(Known(0, pasted.Id));
  EXPECT_TRUE(Known(0, plain.Id));
  EXPECT_TRUE(Known(0, moved.Id));
  EXPECT_EQ(velmora::state::KnownObjects.size(), 1u);
  EXPECT_TRUE(Untouched(pasted));
  EXPECT_TRUE(host_.InfoLines().empty());
  EXPECT_EQ(velmora::TakeLentJob<velmora::SurveyJob>(), nullptr);
}

TEST_F(ScanTest, EmptySceneStillGetsItsBaseline) {
  Baseline();
  ASSERT_EQ(velmora::state::KnownObjects.count(0), 1u);
  EXPECT_TRUE(velmora::state::KnownObjects[0].empty());
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Aligned(pasted));
}

TEST_F(ScanTest, NewImageAtDefaultPlacementIsAligned) {
  host_.AddScene(0, hostsim::VideoFormat{1280, 720, 25, 1});
  SimObject& old = Paste(0, 0, L"C:\\old.png");
  Baseline();
  SimObject& pasted = Paste(1, 100, L"C:\\new.png");
  host_.ClearCalls();
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(host_.RunEditCount(), 1);
  EXPECT_EQ(host_.CallOps()[0], "QueryTimelineInfo");
  // 3 s at 25 fps, 4000 x 3000 fitted into 1280 x 720.
  EXPECT_EQ(pasted.First, 100);
  EXPECT_EQ(pasted.Last, 174);
  EXPECT_EQ(pasted.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "24.000");
  EXPECT_EQ(host_.InfoLines(), std::vector<std::wstring>{kOneAligned});
  EXPECT_TRUE(Known(0, pasted.Id));
  // Only the new image, with the scene's own format (the zoom and length above).
  EXPECT_TRUE(Untouched(old));

  // Nothing new: no edit, no line.
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(host_.RunEditCount(), 1);
  EXPECT_EQ(host_.InfoLines().size(), 1u);
}

TEST_F(ScanTest, ScenesKeepSeparateSetsAndReturningMakesNoNewBaseline) {
  Paste(0, 0, L"C:\\a.png");
  Baseline();
  host_.SwitchScene(7);
  SimObject& inSeven = Paste(0, 0, L"C:\\b.png");
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(host_.RunEditCount(), 0) << "the first visit of scene 7 is its baseline";
  EXPECT_TRUE(Untouched(inSeven));
  EXPECT_TRUE(Known(7, inSeven.Id));
  EXPECT_FALSE(Known(0, inSeven.Id));

  host_.SwitchScene(0);
  SimObject& later = Paste(1, 0, L"C:\\c.png");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Aligned(later));
  EXPECT_TRUE(Known(0, later.Id));
  EXPECT_FALSE(Known(7, later.Id));
  EXPECT_EQ(velmora::state::KnownObjects.size(), 2u);
}

TEST_F(ScanTest, EachScanWithCandidatesReplacesThePendingSet) {
  Baseline();
  SimObject& first = Paste(0, 0, L"C:\\a.png");
  ASSERT_TRUE(RunScan());
  SimObject& second = Paste(1, 0, L"C:\\b.png");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Aligned(first));
  EXPECT_TRUE(Aligned(second));
  EXPECT_EQ(host_.InfoLines(), (std::vector<std::wstring>{kOneAligned, kOneAligned}));
}

TEST_F(ScanTest, FileOfAKnownImageIsNotAlignedAgain) {
  // The known image has been moved: its path still counts.
  Paste(0, 0, L"C:\\a.png").SetItem(hostsim::kDrawEffect, L"X", "-300");
  Paste(4, 0, L"C:\\b.png");  // walked after its copy
  // Not UTF-8: it reads as U+FFFD, as the file of the copy does.
  Paste(5, 0, L"C:\\x.png").SetItem(hostsim::kImageEffect, hostsim::kFileItem, "C:\\c\xFF.png");
  // A last character cut short may go with the terminator: "C:\d".
  Paste(7, 0, L"C:\\x.png").SetItem(hostsim::kImageEffect, hostsim::kFileItem, "C:\\d\xE5");
  Baseline();
  SimObject& copy = Paste(1, 0, L"C:\\a.png");
  SimObject& other = Paste(2, 0, L"C:\\A.png");  // paths compare case-sensitively
  SimObject& earlierCopy = Paste(3, 0, L"C:\\b.png");
  SimObject& readsTheSame = Paste(6, 0, L"C:\\c\xFFFD.png");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Untouched(copy));
  EXPECT_TRUE(Untouched(earlierCopy));
  EXPECT_TRUE(Untouched(readsTheSame));
  EXPECT_TRUE(Known(0, copy.Id));
  EXPECT_TRUE(Aligned(other));
  EXPECT_EQ(host_.InfoLines(), std::vector<std::wstring>{kOneAligned});
  // With no U+FFFD among the new files, known files are first told by their bytes.
  SimObject& readsAsTheCut = Paste(8, 0, L"C:\\d");
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(Untouched(readsAsTheCut), velmora::WideFromUtf8("C:\\d\xE5") == L"C:\\d");
}

TEST_F(ScanTest, TwoNewImagesOfOneFileInOneScanAreBothAligned) {
  Baseline();
  SimObject& first = Paste(0, 0, L"C:\\same.png");
  SimObject& second = Paste(1, 0, L"C:\\same.png");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Aligned(first));
  EXPECT_TRUE(Aligned(second));
  EXPECT_EQ(host_.InfoLines(), std::vector<std::wstring>{kTwoAligned});
}

TEST_F(ScanTest, WithAutoOffNewImagesBecomeKnownForGood) {
  Baseline();
  velmora::state::Settings.Auto = false;
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Known(0, pasted.Id));
  velmora::state::Settings.Auto = true;
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(host_.RunEditCount(), 0);
  EXPECT_TRUE(Untouched(pasted));
}

TEST_F(ScanTest, ImageNotAtDefaultPlacementIsNeverAligned) {
  Baseline();
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  pasted.SetItem(hostsim::kDrawEffect, hostsim::kAspectItem, "0.25");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Known(0, pasted.Id));
  pasted.SetItem(hostsim::kDrawEffect, hostsim::kAspectItem, "0");
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(host_.RunEditCount(), 0);
  EXPECT_EQ(pasted.Length(), kPastedLength);
}

TEST_F(ScanTest, ImageWithoutPathAndOtherObjectsBecomeKnownUnaligned) {
  Baseline();
  SimObject& noPath = Paste(0, 0, L"");
  SimObject& plain = host_.AddObject(1, 0, 9);
  SimObject& noDraw = Paste(2, 0, L"C:\\a.png");
  noDraw.Effects.erase(hostsim::kDrawEffect);
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(host_.RunEditCount(), 0);
  EXPECT_TRUE(Known(0, noPath.Id));
  EXPECT_TRUE(Known(0, plain.Id));
  EXPECT_TRUE(Known(0, noDraw.Id));
}

// A host may also answer a callback with success and never run it (deferred,
// or dropped): that is a refusal too.
struct Refusal {
  const char* name;
  bool hostsim::Refusals::*read;
  bool hostsim::Refusals::*edit;
};

class RefusedScan : public ScanTest, public testing::WithParamInterface<Refusal> {
 protected:
  bool& RefuseRead() { return host_.Refuse.*GetParam().read; }
  bool& RefuseEdit() { return host_.Refuse.*GetParam().edit; }
};

TEST_P(RefusedScan, ReadChangesNothingButAPendingReset) {
  Paste(0, 0, L"C:\\a.png");
  Baseline();
  SimObject& pasted = Paste(1, 0, L"C:\\b.png");
  const velmora::KnownObjectRegistry before = velmora::state::KnownObjects;
  RefuseRead() = true;
  EXPECT_FALSE(RunScan());
  EXPECT_EQ(velmora::state::KnownObjects, before);
  EXPECT_EQ(velmora::TakeLentJob<velmora::SurveyJob>(), nullptr);
  EXPECT_EQ(host_.RunEditCount(), 0);

  velmora::state::ResetPending.store(1);
  EXPECT_FALSE(RunScan());
  EXPECT_TRUE(velmora::state::KnownObjects.empty());
  EXPECT_EQ(velmora::state::ResetPending.load(), 0);

  // The repeated scan finds no entry for the scene: a new baseline.
  RefuseRead() = false;
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Known(0, pasted.Id));
  EXPECT_TRUE(Untouched(pasted));
  EXPECT_EQ(host_.RunEditCount(), 0);
}

// A timeline the host left undescribed, or described without a screen or a
// frame rate, is no scene: nothing surveyed, learned or aligned, and the scan
// is repeated as after a refused survey.
TEST_F(ScanTest, UndescribedTimelineIsNoScene) {
  const std::pair<const char*, void (*)(hostsim::VideoFormat&)> spoilers[] = {
      {"left unwritten", nullptr},
      {"no width", [](hostsim::VideoFormat& f) { f.Width = 0; }},
      {"negative height", [](hostsim::VideoFormat& f) { f.Height = -1080; }},
      {"no rate", [](hostsim::VideoFormat& f) { f.Rate = 0; }},
      {"no scale", [](hostsim::VideoFormat& f) { f.Scale = 0; }},
  };
  Paste(0, 0, L"C:\\a.png");
  Baseline();
  SimObject& pasted = Paste(1, 0, L"C:\\b.png");
  host_.AddObject(2, 0, 9);
  const velmora::KnownObjectRegistry before = velmora::state::KnownObjects;
  const hostsim::VideoFormat format = host_.CurrentScene().Format;
  for (const auto& [name, spoil] : spoilers) {
    SCOPED_TRACE(name);
    host_.Refuse.QueryTimelineInfo = spoil == nullptr;
    if (spoil != nullptr) spoil(host_.CurrentScene().Format);
    host_.ClearCalls();
    EXPECT_FALSE(RunScan());
    EXPECT_EQ(host_.CallTexts(), std::vector<std::string>{"QueryTimelineInfo(80)"});
    EXPECT_EQ(velmora::state::KnownObjects, before);
    host_.CurrentScene().Format = format;
  }
  host_.Refuse.QueryTimelineInfo = false;
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Aligned(pasted));
}

TEST_P(RefusedScan, EditKeepsCandidatesPendingUntilTheNextScan) {
  Baseline();
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  SimObject& plain = host_.AddObject(1, 0, 9);
  RefuseEdit() = true;
  EXPECT_FALSE(RunScan());
  EXPECT_FALSE(Known(0, pasted.Id));
  EXPECT_TRUE(Known(0, plain.Id));
  EXPECT_EQ(Count("RunEdit"), 1) << "a pass was asked for";
  EXPECT_TRUE(Untouched(pasted));
  EXPECT_TRUE(host_.InfoLines().empty());

  RefuseEdit() = false;
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Aligned(pasted));
  EXPECT_TRUE(Known(0, pasted.Id));
  EXPECT_EQ(host_.InfoLines(), std::vector<std::wstring>{kOneAligned});
}

INSTANTIATE_TEST_SUITE_P(
    Ways, RefusedScan,
    testing::Values(Refusal{"Refused", &hostsim::Refusals::RunRead, &hostsim::Refusals::RunEdit},
                    Refusal{"AnsweredWithoutRunning", &hostsim::Refusals::PretendRunRead,
                            &hostsim::Refusals::PretendRunEdit}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanTest, PendingImageMovedBeforeTheRetryIsNotAligned) {
  Baseline();
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  host_.Refuse.RunEdit = true;
  EXPECT_FALSE(RunScan());
  pasted.SetItem(hostsim::kDrawEffect, L"Y", "40");
  host_.Refuse.RunEdit = false;
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Known(0, pasted.Id));
  EXPECT_EQ(pasted.Length(), kPastedLength);
  EXPECT_EQ(host_.RunEditCount(), 0);
}

TEST_F(ScanTest, OneIdListedTwiceGivesOneCandidate) {
  Baseline();
  SimObject& first = Paste(0, 0, L"C:\\a.png");
  SimObject& second = Paste(1, 0, L"C:\\b.png");
  second.Id = first.Id;
  EXPECT_TRUE(RunScan());
  // One candidate id; the pass fits both objects that carry it.
  EXPECT_EQ(host_.InfoLines(), std::vector<std::wstring>{kTwoAligned});
  EXPECT_EQ(host_.RunEditCount(), 1);
  EXPECT_TRUE(Known(0, first.Id));
}

// The host shuts the plug-in down and starts it again inside a call of the
// survey: the registry the survey judges against stays whole under it, the
// scan keeps nothing it found, and the new lifetime's first scan is a first
// look.
TEST_F(ScanTest, NewLifetimeInsideTheSurveyForgetsTheScenesAtTheNextScan) {
  Paste(0, 0, L"C:\\a.png");
  Baseline();
  SimObject& pasted = Paste(1, 0, L"C:\\b.png");
  int ids = 0;
  host_.OnCall = [&](const std::string& op) {
    if (op != "GetObjectId" || ++ids != 1) return;
    velmora::Uninitialize();
    velmora::BeginLifetime();
    velmora::TakeLogger(host_.Logger());
    velmora::Initialize(host_.Version());
    velmora::Register(host_.Table());
  };
  EXPECT_TRUE(RunScan());
  host_.OnCall = nullptr;
  EXPECT_EQ(host_.RunEditCount(), 0);
  EXPECT_EQ(velmora::state::ResetPending.load(), 1);
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Untouched(pasted));
  EXPECT_TRUE(Known(0, pasted.Id));
}

// The settings as they stand when the pass begins: the host may run the
// dialog inside RunEdit, before the pass.
TEST_F(ScanTest, PassFitsWithTheSettingsAsItBegins) {
  Baseline();
  SimObject& pasted = Paste(1, 0, L"C:\\b.png");
  host_.OnCallbackEnter = [&] {
    if (host_.RunEditCount() == 1) velmora::state::Settings.Fit = velmora::kFitCover;
  };
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(pasted.Item(hostsim::kDrawEffect, hostsim::kZoomItem), "48.000");
}

// Known images of other folders whose files end like the new one's pass both
// keys and are looked up in the new files' table, where they are absent.
TEST_F(ScanTest, KnownFilesThatEndAlikeAreLookedUpAndNotFound) {
  for (int i = 0; i < 40; ++i)
    Paste(i, 0, L"C:\\k" + std::to_wstring(10 + i) + L"\\img.png");
  Baseline();
  SimObject& pasted = Paste(50, 0, L"C:\\new\\img.png");
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(Aligned(pasted));
}

TEST_F(ScanTest, ResetEmptiesEveryScene) {
  Paste(0, 0, L"C:\\a.png");
  Baseline();
  host_.SwitchScene(7);
  Baseline();
  ASSERT_EQ(velmora::state::KnownObjects.size(), 2u);
  SimObject& pasted = Paste(0, 0, L"C:\\b.png");
  velmora::state::ResetPending.store(1);
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(velmora::state::ResetPending.load(), 0);
  EXPECT_EQ(velmora::state::KnownObjects.size(), 1u);
  EXPECT_EQ(velmora::state::KnownObjects.count(0), 0u);
  EXPECT_TRUE(Known(7, pasted.Id));
  EXPECT_TRUE(Untouched(pasted));
  EXPECT_EQ(host_.RunEditCount(), 0);
}

TEST_F(ScanTest, WithoutEditHandleNothingHappensAndAResetStaysPending) {
  Paste(0, 0, L"C:\\a.png");
  Baseline();
  velmora::HostTable table = detecttest::WithoutEditHandle(*host_.Table());
  velmora::Register(&table);
  ASSERT_EQ(velmora::state::Edit, nullptr);
  Paste(1, 0, L"C:\\b.png");
  const velmora::KnownObjectRegistry before = velmora::state::KnownObjects;
  velmora::state::ResetPending.store(1);
  host_.ClearCalls();
  EXPECT_TRUE(RunScan());
  EXPECT_TRUE(host_.Calls().empty());
  EXPECT_EQ(velmora::state::ResetPending.load(), 1);
  EXPECT_EQ(velmora::state::KnownObjects, before);
}

TEST_F(ScanTest, DeletingAnAlignedObjectLeavesTheRegistryAlone) {
  Baseline();
  SimObject& pasted = Paste(0, 0, L"C:\\a.png");
  ASSERT_TRUE(RunScan());
  ASSERT_TRUE(Aligned(pasted));
  const velmora::ObjectId id = pasted.Id;
  const velmora::KnownObjectRegistry before = velmora::state::KnownObjects;
  ASSERT_TRUE(host_.RemoveObject(id));
  EXPECT_TRUE(RunScan());
  EXPECT_EQ(velmora::state::KnownObjects, before);
  EXPECT_TRUE(Known(0, id));
  EXPECT_EQ(host_.RunEditCount(), 1);
}

}  // namespace
