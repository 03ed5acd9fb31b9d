// The simulated host keeps its per-layer lookup current when a span changes
// inside an editing callback, without rebuilding it: the next ObjectAtOrAfter
// of the same callback must already answer from the new ends. Also that the
// call log stays silent while it is off and complete while it is on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/host.h"

using hostsim::Host;
using hostsim::SimObject;

namespace {

struct SpanCase {
  const char* Name;
  std::int32_t FirstLast, SecondFirst, SecondLast;  // object A starts at 0, B at SecondFirst
  char Target;                                      // the object whose span changes
  std::int32_t NewLast;                             // its last frame after ReplaceSpan
  std::int32_t AskFrame;                            // asked on layer 0 after the change
  char Expected;                                    // 'A', 'B' or '-' for none
};

// The callback sees only the access table; the case travels through these.
const SpanCase* g_Case = nullptr;
SimObject* g_A = nullptr;
SimObject* g_B = nullptr;
std::uint8_t g_Replaced = 0;
velmora::ObjectHandle g_Answer = nullptr;

void VELMORA_HOSTCALL ChangeThenAsk(velmora::TimelineAccess* access) {
  auto target = reinterpret_cast<velmora::ObjectHandle>(g_Case->Target == 'A' ? g_A : g_B);
  access->ObjectAtOrAfter(0, 0);  // the lookup is built before the change
  g_Replaced = access->ReplaceSpan(target, access->PlacementOf(target), g_Case->NewLast);
  g_Answer = access->ObjectAtOrAfter(0, g_Case->AskFrame);
}

class HostIndexTest : public testing::TestWithParam<SpanCase> {};

TEST_P(HostIndexTest, AnswersFromTheNewEndsInTheSameCallback) {
  const SpanCase& c = GetParam();
  Host host;
  host.RecordCalls = false;
  g_Case = &c;
  g_A = &host.AddObject(0, 0, c.FirstLast);
  g_B = &host.AddObject(0, c.SecondFirst, c.SecondLast);
  ASSERT_NE(host.Table()->CreateEditHandle()->RunEdit(&ChangeThenAsk), 0);

  EXPECT_EQ(g_Replaced, 1);
  EXPECT_EQ((c.Target == 'A' ? g_A : g_B)->Last, c.NewLast);
  auto answer = reinterpret_cast<SimObject*>(g_Answer);
  const SimObject* expected = c.Expected == 'A' ? g_A : c.Expected == 'B' ? g_B : nullptr;
  EXPECT_EQ(answer, expected);
  EXPECT_TRUE(host.Violations().empty());
  EXPECT_TRUE(host.Calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Spans, HostIndexTest,
                         testing::Values(
                             // A lengthened towards B: frame 20 now lies in A.
                             SpanCase{"Lengthened", 9, 50, 59, 'A', 40, 20, 'A'},
                             // A shortened: frame 20 is past it, so B answers.
                             SpanCase{"Shortened", 40, 50, 59, 'A', 9, 20, 'B'},
                             // A and B overlap with ascending ends; B shortened to end inside A,
                             // so the ends no longer ascend and a binary search would miss A.
                             SpanCase{"BecomesUnordered", 15, 10, 30, 'B', 12, 13, 'A'},
                             // B lies inside A, so the ends did not ascend; shortening A makes
                             // them ascend, and frame 6 must find B.
                             SpanCase{"BecomesOrdered", 100, 10, 20, 'A', 5, 6, 'B'},
                             // B lengthened, still inside A: the ends still do not ascend.
                             SpanCase{"StaysUnordered", 100, 10, 20, 'B', 30, 21, 'A'},
                             // Past every object.
                             SpanCase{"PastTheEnd", 9, 50, 59, 'A', 30, 60, '-'}),
                         [](const testing::TestParamInfo<SpanCase>& info) {
                           return std::string(info.param.Name);
                         });

void VELMORA_HOSTCALL ReadOneObject(velmora::TimelineAccess* access) {
  velmora::ObjectHandle object = access->ObjectAtOrAfter(0, 0);
  access->GetSpan(object);
  access->GetObjectId(object);
  access->EffectCount(object, hostsim::kImageEffect);
  access->GetItem(object, hostsim::kImageEffect, hostsim::kFileItem);
}

TEST(HostCallLog, RecordsEveryTimelineCallOnlyWhileOn) {
  Host host;
  SimObject& image = host.AddImage(0, 0, 9, L"C:\\素材\\a.png");
  velmora::EditHandle* edit = host.Table()->CreateEditHandle();
  const std::string id = hostsim::ObjectRef(image.Id);

  host.RecordCalls = false;
  host.ClearCalls();
  ASSERT_NE(edit->RunRead(&ReadOneObject), 0);
  EXPECT_TRUE(host.CallTexts().empty());

  host.RecordCalls = true;
  ASSERT_NE(edit->RunRead(&ReadOneObject), 0);
  EXPECT_EQ(host.CallTexts(), (std::vector<std::string>{
                                  "RunRead()", "ObjectAtOrAfter(0,0)", "GetSpan(" + id + ")",
                                  "GetObjectId(" + id + ")", "EffectCount(" + id + ",画像ファイル)",
                                  "GetItem(" + id + ",画像ファイル,ファイル)"}));
}

}  // namespace
