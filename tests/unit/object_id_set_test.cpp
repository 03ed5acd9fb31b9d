// The flat id set against std::set over streams of ids that stress it: the
// free-slot value and the extremes, repeats, ids alike in their low or high
// bits, and growth from empty or from a reservation.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <utility>

#include "detect/object_id_set.h"

namespace {

using velmora::ObjectId;
using velmora::ObjectIdSet;
constexpr ObjectId kMin = std::numeric_limits<ObjectId>::min();
constexpr ObjectId kMax = std::numeric_limits<ObjectId>::max();

struct IdStream {
  const char* Name;
  int Count;
  std::function<ObjectId(int)> Id;
  std::size_t Reserve;
};

class IdStreamTable : public testing::TestWithParam<IdStream> {};

TEST_P(IdStreamTable, HoldsWhatAnOrderedSetHolds) {
  const IdStream& stream = GetParam();
  ObjectIdSet ids;
  ids.reserve(stream.Reserve);
  std::set<ObjectId> model;
  for (int i = 0; i < stream.Count; ++i) {
    ObjectId id = stream.Id(i);
    ASSERT_EQ(ids.insert(id), model.insert(id).second) << "insert " << id;
    ASSERT_TRUE(ids.contains(id)) << id;
  }
  EXPECT_EQ(ids.size(), model.size());
  EXPECT_EQ(std::set<ObjectId>(ids.begin(), ids.end()), model);
  for (ObjectId probe : {ObjectId{0}, ObjectId{1}, ObjectId{-1}, kMin, kMax, ObjectId{1} << 40})
    EXPECT_EQ(ids.contains(probe), model.count(probe) != 0) << probe;

  ObjectIdSet copy = ids;
  EXPECT_TRUE(copy == ids);
  bool added = copy.insert(kMax - 7);
  EXPECT_EQ(copy == ids, !added);
  ObjectIdSet moved = std::move(copy);
  EXPECT_EQ(moved.size(), ids.size() + (added ? 1 : 0));
  // The registry relies on a moved-from set being empty and usable.
  // NOLINTNEXTLINE(bugprone-use-after-move)
  EXPECT_TRUE(copy.empty() && copy.begin() == copy.end() && !copy.contains(stream.Id(0)));
  ids.clear();
  EXPECT_TRUE(ids.empty() && ids.begin() == ids.end() && !ids.contains(stream.Id(0)));
  EXPECT_TRUE(ids.insert(stream.Id(0)));
}

INSTANTIATE_TEST_SUITE_P(
    ObjectIdSet, IdStreamTable,
    testing::Values(
        IdStream{"Extremes", 12,
                 [](int i) {
                   const ObjectId edge[] = {0, kMin, kMax, -1, 1, kMin + 1};
                   return edge[i % 6];
                 },
                 0},
        IdStream{"RepeatsWithZero", 5000, [](int i) { return ObjectId{i % 1000}; }, 0},
        IdStream{"GrowsOneByOne", 50000, [](int i) { return ObjectId{i} + 1; }, 0},
        IdStream{"Reserved", 50000, [](int i) { return -ObjectId{i} * 7919; }, 50000},
        IdStream{"HighBitsOnly", 4096, [](int i) { return ObjectId{i} << 48; }, 0},
        IdStream{"LowAndHighHalvesAlike", 4096,
                 [](int i) { return static_cast<ObjectId>((std::uint64_t(i) << 32) | i); }, 0},
        IdStream{"AlignedLikePointers", 20000,
                 [](int i) { return ObjectId{0x7ff600000000} + ObjectId{i} * 4096; }, 64}),
    [](const testing::TestParamInfo<IdStream>& info) { return std::string(info.param.Name); });

}  // namespace
