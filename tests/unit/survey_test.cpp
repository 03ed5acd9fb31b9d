// The read-only survey: which host calls it makes, in which order, and the
// record it builds for each object; the number test of placement items; and
// the UTF-8 conversion of host texts.
#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "detect/survey.h"
#include "hostsim/host.h"
#include "plugin/host/host_text.h"
#include "plugin/host/timeline.h"
#include "tests/support/scoped_locale.h"

using hostsim::Host;
using hostsim::SimObject;
using velmora::SurveyRecord;

namespace {

class SurveyTest : public testing::Test {
 protected:
  void SetUp() override { edit_ = host_.Table()->CreateEditHandle(); }

  // Runs the survey as the scan does, through RunRead, against `known`
  // (by default a scene that knows nothing yet), and keeps only the timeline
  // calls it made. The records' files stay in findings_.
  std::deque<SurveyRecord> Survey(std::int32_t lastLayer) { return Survey(lastLayer, &noneKnown_); }
  std::deque<SurveyRecord> Survey(std::int32_t lastLayer, const velmora::ObjectIdSet* known) {
    findings_ = std::make_unique<velmora::SurveyFindings>();
    velmora::SurveyJob job{lastLayer, known, findings_.get()};
    host_.ClearCalls();
    EXPECT_TRUE(velmora::RunLending(edit_->RunRead, &velmora::SurveyTimeline, job));
    calls_ = host_.CallTexts();
    calls_.erase(calls_.begin());  // the RunRead itself
    return findings_->NewObjects;
  }

  std::vector<std::string> Asked(const std::string& op) const {
    std::vector<std::string> out;
    for (const std::string& call : calls_) {
      if (call.rfind(op + "(", 0) == 0) out.push_back(call);
    }
    return out;
  }

  SimObject& Image(std::int32_t layer, std::int32_t first, std::int32_t last,
                   const std::wstring& path = L"C:\\img\\a.png") {
    return host_.AddImage(layer, first, last, path);
  }

  Host host_;
  velmora::ObjectIdSet noneKnown_;
  std::unique_ptr<velmora::SurveyFindings> findings_;
  velmora::EditHandle* edit_ = nullptr;
  std::vector<std::string> calls_;
};

TEST_F(SurveyTest, NegativeLastLayerAsksNothing) {
  Image(0, 0, 9);
  EXPECT_TRUE(Survey(-1).empty());
  EXPECT_TRUE(calls_.empty());
}

TEST_F(SurveyTest, LastLayerZeroWalksOnlyLayerZero) {
  host_.AddObject(0, 0, 9);
  host_.AddObject(1, 0, 9);
  auto records = Survey(0);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Id, 1);
  EXPECT_EQ(Asked("ObjectAtOrAfter"),
            (std::vector<std::string>{"ObjectAtOrAfter(0,0)", "ObjectAtOrAfter(0,10)"}));
}

TEST_F(SurveyTest, EmptyLayerCostsOneCallAtFrameZero) {
  host_.AddObject(1, 0, 9);
  Survey(2);
  EXPECT_EQ(Asked("ObjectAtOrAfter"),
            (std::vector<std::string>{"ObjectAtOrAfter(0,0)", "ObjectAtOrAfter(1,0)",
                                      "ObjectAtOrAfter(1,10)", "ObjectAtOrAfter(2,0)"}));
}

TEST_F(SurveyTest, TwoObjectsOfAnEffectlessLayer) {
  host_.AddObject(0, 0, 9);
  host_.AddObject(0, 10, 19);
  auto records = Survey(0);
  // An object without an image-file effect costs its span, its id and one
  // effect count, nothing more.
  EXPECT_EQ(calls_,
            (std::vector<std::string>{"ObjectAtOrAfter(0,0)", "GetSpan(#1)", "GetObjectId(#1)",
                                      "EffectCount(#1,画像ファイル)", "ObjectAtOrAfter(0,10)",
                                      "GetSpan(#2)", "GetObjectId(#2)",
                                      "EffectCount(#2,画像ファイル)", "ObjectAtOrAfter(0,20)"}));
  ASSERT_EQ(records.size(), 2u);
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].Id, static_cast<velmora::ObjectId>(i + 1));
    EXPECT_EQ(records[i].AlignableFile, nullptr);
  }
}

TEST_F(SurveyTest, RecordsComeByLayerThenFrame) {
  host_.AddObject(1, 50, 59);
  host_.AddObject(0, 20, 29);
  host_.AddObject(1, 0, 9);
  host_.AddObject(0, 0, 9);
  auto records = Survey(1);
  std::vector<velmora::ObjectId> ids;
  ids.reserve(records.size());
  for (auto& r : records)
    ids.push_back(r.Id);
  EXPECT_EQ(ids, (std::vector<velmora::ObjectId>{4, 2, 3, 1}));
}

TEST_F(SurveyTest, ImageWithoutStandardDrawingIsNoImage) {
  SimObject& o = Image(0, 0, 9);
  o.Effects.erase(hostsim::kDrawEffect);
  auto records = Survey(0);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].AlignableFile, nullptr);
  EXPECT_EQ(calls_,
            (std::vector<std::string>{"ObjectAtOrAfter(0,0)", "GetSpan(#1)", "GetObjectId(#1)",
                                      "EffectCount(#1,画像ファイル)", "EffectCount(#1,標準描画)",
                                      "ObjectAtOrAfter(0,10)"}));
}

// Which placement item is off, and which items the survey then reads: it
// stops at the first that fails, and reads the file path in every case; it
// keeps the file of a new image at its default placement only.
struct PlacementCase {
  const wchar_t* item;  // null: all at their default
  const char* text;     // null: the item is absent
  std::vector<std::string> items;
  bool isDefault;
};

void PrintTo(const PlacementCase& c, std::ostream* out) {
  *out << (c.item ? hostsim::Utf8(c.item) : std::string("none")) << "="
       << (c.text ? c.text : "(absent)");
}

class SurveyPlacement : public SurveyTest, public testing::WithParamInterface<PlacementCase> {};

TEST_P(SurveyPlacement, StopsAtFirstFailingItemAndStillReadsThePath) {
  const PlacementCase& c = GetParam();
  SimObject& o = Image(0, 0, 9, L"C:\\素材\\猫 1.png");
  if (c.item != nullptr) {
    if (c.text != nullptr) {
      o.SetItem(hostsim::kDrawEffect, c.item, c.text);
    } else {
      o.ClearItem(hostsim::kDrawEffect, c.item);
    }
  }
  auto records = Survey(0);
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].AlignableFile != nullptr, c.isDefault);
  if (c.isDefault) {
    EXPECT_STREQ(records[0].AlignableFile, L"C:\\素材\\猫 1.png");
  }
  std::vector<std::string> expected;
  for (const std::string& item : c.items)
    expected.push_back("GetItem(#1,標準描画," + item + ")");
  expected.push_back("GetItem(#1,画像ファイル,ファイル)");
  EXPECT_EQ(Asked("GetItem"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, SurveyPlacement,
    testing::Values(PlacementCase{nullptr, nullptr, {"X", "Y", "拡大率", "縦横比"}, true},
                    PlacementCase{L"X", "5", {"X"}, false},
                    PlacementCase{L"X", nullptr, {"X"}, false},
                    PlacementCase{L"Y", "-1.5", {"X", "Y"}, false},
                    PlacementCase{L"拡大率", "100.5", {"X", "Y", "拡大率"}, false},
                    PlacementCase{L"縦横比", "0.5", {"X", "Y", "拡大率", "縦横比"}, false},
                    PlacementCase{L"X", "-0", {"X", "Y", "拡大率", "縦横比"}, true}));

TEST_F(SurveyTest, MissingOrEmptyPathLeavesAnImageWithoutPath) {
  Image(0, 0, 9).ClearItem(hostsim::kImageEffect, hostsim::kFileItem);
  Image(1, 0, 9, L"");
  auto records = Survey(1);
  ASSERT_EQ(records.size(), 2u);
  for (auto& r : records)
    EXPECT_EQ(r.AlignableFile, nullptr);
}

// The survey decides as it walks: a known object leaves no record, a known
// image only its file; a scene's first survey keeps every id and no file.
// The host is asked the same either way.
TEST_F(SurveyTest, KnownObjectsLeaveOnlyTheirImagesFiles) {
  SimObject& knownImage = Image(0, 0, 9, L"C:\\素材\\a.png");
  SimObject& knownMoved = Image(0, 10, 19, L"C:\\素材\\b.png");
  knownMoved.SetItem(hostsim::kDrawEffect, hostsim::kXItem, "5");
  SimObject& knownNoPath = Image(0, 20, 29, L"");
  SimObject& knownPlain = host_.AddObject(0, 30, 39);
  SimObject& fresh = Image(1, 0, 9, L"C:\\素材\\c.png");
  SimObject& freshMoved = Image(1, 10, 19, L"C:\\素材\\a.png");
  freshMoved.SetItem(hostsim::kDrawEffect, hostsim::kYItem, "1");
  SimObject& freshPlain = host_.AddObject(1, 20, 29);
  SimObject& knownLater = Image(2, 0, 9, L"C:\\素材\\d.png");
  velmora::ObjectIdSet known;
  for (const SimObject* o : {&knownImage, &knownMoved, &knownNoPath, &knownPlain, &knownLater})
    known.insert(o->Id);

  const auto first = Survey(2, nullptr);
  const std::vector<std::string> firstCalls = calls_;
  EXPECT_EQ(first.size(), 8u);
  for (const SurveyRecord& r : first)
    EXPECT_EQ(r.AlignableFile, nullptr);
  EXPECT_EQ(findings_->KnownFiles.size(), 0u);

  const auto records = Survey(2, &known);
  EXPECT_EQ(calls_, firstCalls);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].Id, fresh.Id);
  EXPECT_STREQ(records[0].AlignableFile, L"C:\\素材\\c.png");
  EXPECT_EQ(records[1].Id, freshMoved.Id);
  EXPECT_EQ(records[1].AlignableFile, nullptr);
  EXPECT_EQ(records[2].Id, freshPlain.Id);
  EXPECT_EQ(records[2].AlignableFile, nullptr);
  std::vector<std::wstring> files;
  findings_->KnownFiles.ForEach(
      [&](std::string_view text) { files.push_back(velmora::WideFromUtf8(text.data())); });
  EXPECT_EQ(files, (std::vector<std::wstring>{L"C:\\素材\\a.png", L"C:\\素材\\b.png",
                                              L"C:\\素材\\d.png"}));
}

TEST_F(SurveyTest, ObjectEndingBeforeTheAskedFrameIsRecordedAndEndsItsLayer) {
  host_.AddObject(0, 0, 9);
  SimObject& early = host_.AddObject(0, 2, 5);
  host_.AddObject(0, 30, 39);  // never reached: the layer ends at `early`
  host_.AddObject(1, 0, 9);
  host_.ObjectAtOrAfterHook = [&](std::int32_t layer, std::int32_t frame,
                                  velmora::ObjectHandle honest) {
    if (layer == 0 && frame == 10) return reinterpret_cast<velmora::ObjectHandle>(&early);
    return honest;
  };
  auto records = Survey(1);
  std::vector<velmora::ObjectId> ids;
  ids.reserve(records.size());
  for (auto& r : records)
    ids.push_back(r.Id);
  EXPECT_EQ(ids, (std::vector<velmora::ObjectId>{1, early.Id, 4}));
  EXPECT_EQ(Asked("ObjectAtOrAfter"),
            (std::vector<std::string>{"ObjectAtOrAfter(0,0)", "ObjectAtOrAfter(0,10)",
                                      "ObjectAtOrAfter(1,0)", "ObjectAtOrAfter(1,10)"}));
}

TEST_F(SurveyTest, LastFrameAtTheLargestFrameEndsTheLayer) {
  host_.AddObject(0, 0, 9);
  host_.AddObject(0, 10, INT_MAX);
  host_.AddObject(1, 0, 9);
  // The host hands the long object out for any frame, negative ones
  // included; a wrapped frame would walk the layer again and again.
  int askedOnLayerZero = 0;
  host_.ObjectAtOrAfterHook = [&](std::int32_t layer, std::int32_t, velmora::ObjectHandle honest) {
    if (layer == 0 && ++askedOnLayerZero > 5) return velmora::ObjectHandle{};
    return honest;
  };
  auto records = Survey(1);
  EXPECT_EQ(records.size(), 3u);
  EXPECT_EQ(Asked("ObjectAtOrAfter"),
            (std::vector<std::string>{"ObjectAtOrAfter(0,0)", "ObjectAtOrAfter(0,10)",
                                      "ObjectAtOrAfter(1,0)", "ObjectAtOrAfter(1,10)"}));
}

// ---- the number test of one placement item ----

struct NumberCase {
  const char* text;  // null: the host gives no text
  double target;
  bool equal;
};

std::string Printable(const char* text) {
  if (text == nullptr) return "(null)";
  std::string quoted = "\"";
  return quoted.append(text).append("\"");
}

void PrintTo(const NumberCase& c, std::ostream* out) {
  *out << Printable(c.text) << " vs " << c.target;
}

std::function<void(velmora::TimelineAccess*)>* g_ReadBody = nullptr;
void VELMORA_HOSTCALL ReadTrampoline(velmora::TimelineAccess* access) { (*g_ReadBody)(access); }

class ItemText : public testing::TestWithParam<NumberCase> {};

TEST_P(ItemText, ComparesTheWholeTextAsANumber) {
  const NumberCase& c = GetParam();
  Host host;
  SimObject& o = host.AddImage(0, 0, 9, L"a.png");
  if (c.text == nullptr) {
    o.ClearItem(hostsim::kDrawEffect, hostsim::kZoomItem);
  } else {
    o.SetItem(hostsim::kDrawEffect, hostsim::kZoomItem, c.text);
  }
  bool result = !c.equal;
  std::function<void(velmora::TimelineAccess*)> body = [&](velmora::TimelineAccess* access) {
    velmora::ObjectHandle handle = access->ObjectAtOrAfter(0, 0);
    host.ClearCalls();
    result = velmora::ItemEquals(access, handle, hostsim::kZoomItem, c.target);
  };
  g_ReadBody = &body;
  host.Table()->CreateEditHandle()->RunRead(&ReadTrampoline);
  g_ReadBody = nullptr;
  EXPECT_EQ(result, c.equal) << Printable(c.text) << " against " << c.target;
  EXPECT_EQ(host.CallTexts(), std::vector<std::string>{"GetItem(#1,標準描画,拡大率)"});
  EXPECT_EQ(velmora::NumberTextEquals(c.text, c.target), c.equal) << Printable(c.text);
  testsupport::ScopedLocale comma(testsupport::kDecimalCommaLocale);
  ASSERT_TRUE(comma.Switched());
  EXPECT_EQ(velmora::NumberTextEquals(c.text, c.target), c.equal)
      << Printable(c.text) << " under a decimal comma";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ItemText,
    testing::Values(NumberCase{"0", 0, true}, NumberCase{"0.0", 0, true}, NumberCase{"-0", 0, true},
                    NumberCase{" 0", 0, true}, NumberCase{"0.0000009", 0, true},
                    NumberCase{"-0.0000009", 0, true}, NumberCase{"0.000001", 0, false},
                    NumberCase{"-0.000001", 0, false}, NumberCase{"0 ", 0, false},
                    NumberCase{"", 0, false}, NumberCase{"0px", 0, false},
                    NumberCase{"nan", 0, false}, NumberCase{"1e-7", 0, true},
                    NumberCase{nullptr, 0, false}, NumberCase{"100.0", 100, true},
                    NumberCase{"100", 100, true}, NumberCase{"100.00", 100, true},
                    NumberCase{"99.9999995", 100, true}, NumberCase{"100.01", 100, false},
                    NumberCase{"0", 100, false}, NumberCase{"inf", 100, false},
                    NumberCase{"0,0", 0, false}, NumberCase{"100,00", 100, false}));

// ---- host text to UTF-16 ----

// A host text converted both ways, plain and into an arena, which must agree.
std::wstring Converted(const char* text) {
  velmora::TextArena arena;
  std::wstring plain = velmora::WideFromUtf8(text);
  const std::wstring_view kept = arena.AddWideFromUtf8(text);
  EXPECT_EQ(kept, plain) << "in an arena";
  EXPECT_TRUE(kept.empty() || kept.data()[kept.size()] == L'\0') << "unterminated in an arena";
  EXPECT_EQ(plain.c_str()[plain.size()], L'\0') << "unterminated";
  return plain;
}

TEST(WideFromUtf8, NullAndEmptyGiveEmpty) {
  EXPECT_EQ(Converted(nullptr), L"");
  EXPECT_EQ(Converted(""), L"");
}

TEST(WideFromUtf8, ConvertsWithoutTheTerminator) {
  EXPECT_EQ(Converted("C:\\img\\a.png"), L"C:\\img\\a.png");
  EXPECT_EQ(Converted("\xE7\x94\xBB\xE5\x83\x8F\xE3\x83\x95\xE3\x82\xA1\xE3\x82"
                      "\xA4\xE3\x83\xAB"),
            L"画像ファイル");
  // Outside the basic plane: two code units for one character.
  std::wstring face = Converted("\xF0\x9F\x98\x80.png");
  EXPECT_EQ(face, std::wstring(L"\xD83D\xDE00.png"));
  EXPECT_EQ(face.size(), 6u);
}

TEST(WideFromUtf8, InvalidSequencesAreReplacedNotRejected) {
  EXPECT_EQ(Converted("a\xFF"
                      "b"),
            std::wstring(L"a\xFFFD"
                         L"b"));
  std::wstring cut = Converted("\xE3\x81");
  EXPECT_FALSE(cut.empty());
  EXPECT_EQ(cut.find(L'\0'), std::wstring::npos);
  // Cut after a character's first byte, or two of four.
  EXPECT_EQ(Converted("C:\\n\xE5").find(L'\0'), std::wstring::npos);
  EXPECT_EQ(Converted("C:\\n\xF0\x9F").find(L'\0'), std::wstring::npos);
}

// Texts spread over several blocks, one longer than a block, stay where they
// were put while more are added.
TEST(TextArena, ViewsOutliveLaterTexts) {
  velmora::TextArena arena;
  std::vector<std::pair<std::wstring_view, std::wstring>> kept;
  for (int i = 0; i < 5000; ++i) {
    std::string text = i == 2500 ? std::string(40000, 'x') : "C:\\img\\" + std::to_string(i);
    kept.emplace_back(arena.AddWideFromUtf8(text.c_str()), velmora::WideFromUtf8(text.c_str()));
  }
  for (const auto& [view, expected] : kept) {
    ASSERT_EQ(view, expected);
    ASSERT_EQ(view.data()[view.size()], L'\0');
  }
  arena.Clear();
  EXPECT_EQ(arena.AddWideFromUtf8("a.png"), L"a.png");
}

// Each text comes back as it went in, whatever it shares with the one before
// it (all, part, nothing, more than it has, part of a character), valid UTF-8
// or not, with lengths beyond a byte of count and beyond a block.
TEST(KnownImageFiles, GivesBackEveryTextInOrder) {
  const std::string longPath = "D:\\" + std::string(70000, 'x') + ".png";
  const std::vector<std::string> texts = {"C:\\img\\a.png",
                                          "C:\\img\\a.png",
                                          "C:\\img\\ab.png",
                                          "C:\\img\\a",
                                          "x",
                                          "C:\\\xE7\xB4\xA0\xE6\x9D\x90\\\xE5\x86\x99.png",
                                          "C:\\\xE7\xB4\xA0\xE6\x9D\x90\\\xE5\x86\x9A.png",
                                          "C:\\bad\xFF.png",
                                          "C:\\cut\xE3\x81",
                                          longPath,
                                          longPath + "2",
                                          std::string(100, 'y'),
                                          "\xF0\x9F\x98\x80.png"};
  constexpr int kRounds = 8;
  velmora::KnownImageFiles files;
  for (int round = 0; round < kRounds; ++round) {
    for (const std::string& text : texts)
      files.Add(text.c_str());
  }
  files.Add(nullptr);
  files.Add("");
  std::vector<std::string> back;
  files.ForEach([&](std::string_view text) {
    EXPECT_EQ(text.data()[text.size()], '\0');
    back.emplace_back(text);
  });
  ASSERT_EQ(files.size(), back.size());
  ASSERT_EQ(back.size(), texts.size() * kRounds);
  for (std::size_t i = 0; i < back.size(); ++i)
    ASSERT_EQ(back[i], texts[i % texts.size()]) << "text " << i;
}

}  // namespace
