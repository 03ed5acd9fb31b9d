// The decimal texts against the standard library's exact formatter, which the
// module no longer links, over doubles drawn to reach exact ties, carries
// through every digit, huge integers, long fractions and subnormals.
#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "plugin/decimal_text.h"

namespace {

std::string Reference(double value, std::chars_format format, int precision) {
  char buffer[1500];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return std::string(buffer, result.ptr);
}

double Draw(std::mt19937_64& random, std::uint64_t kind) {
  std::uint64_t r = random();
  switch (kind) {
    case 0: {  // any bit pattern: NaNs, infinities, subnormals included
      double value;
      std::memcpy(&value, &r, sizeof value);
      return value;
    }
    case 1:  // few fraction bits: exact ties at the second and third decimal
      return std::ldexp(static_cast<double>(static_cast<std::int64_t>(r >> 40) - (1 << 23)),
                        -static_cast<int>(r % 13));
    case 2:  // short decimals, just above or below a tie once in binary
      return static_cast<double>(static_cast<std::int64_t>(r >> 34) - (1 << 29)) /
             std::pow(10.0, static_cast<double>(r % 8));
    default:  // a full mantissa at a moderate scale
      return std::ldexp(static_cast<double>(r >> 11), static_cast<int>(r % 160) - 110);
  }
}

void ExpectSameTexts(double value, int fixedDecimals, int significant) {
  using std::chars_format;
  using velmora::FixedText;
  using velmora::GeneralText;
  ASSERT_EQ(FixedText(value, 2), Reference(value, chars_format::fixed, 2))
      << std::hexfloat << value;
  ASSERT_EQ(FixedText(value, 3), Reference(value, chars_format::fixed, 3))
      << std::hexfloat << value;
  ASSERT_EQ(GeneralText(value, 6), Reference(value, chars_format::general, 6))
      << std::hexfloat << value;
  ASSERT_EQ(FixedText(value, fixedDecimals), Reference(value, chars_format::fixed, fixedDecimals))
      << std::hexfloat << value << " decimals " << fixedDecimals;
  ASSERT_EQ(GeneralText(value, significant), Reference(value, chars_format::general, significant))
      << std::hexfloat << value << " significant " << significant;
}

TEST(DecimalText, EdgeValuesMatchTheStandardFormatter) {
  using limits = std::numeric_limits<double>;
  for (double value : {0.0, -0.0, limits::quiet_NaN(), -limits::quiet_NaN(), limits::infinity(),
                       -limits::infinity(), limits::max(), limits::min(), limits::denorm_min(),
                       -limits::denorm_min(), 0.125, 2.675, 9.9995, 999999.5, 9.999995e-5, 1e22}) {
    for (int precision = -1; precision <= 25; ++precision)
      ASSERT_NO_FATAL_FAILURE(ExpectSameTexts(value, precision, precision));
    // Past every exact digit of the smallest subnormal.
    ASSERT_NO_FATAL_FAILURE(ExpectSameTexts(value, 1100, 800));
  }
}

TEST(DecimalText, RandomDoublesMatchTheStandardFormatter) {
  std::mt19937_64 random(12);
  for (int i = 0; i < 200000; ++i) {
    double value = Draw(random, static_cast<std::uint64_t>(i % 4));
    int decimals = static_cast<int>(random() % 21),
        significant = static_cast<int>(random() % 19) - 1;
    ASSERT_NO_FATAL_FAILURE(ExpectSameTexts(value, decimals, significant));
  }
}

TEST(DecimalText, KeepsTheFullStopUnderADecimalCommaLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "German_Germany.1252"), nullptr);
  std::string fixed = velmora::FixedText(2.5, 2), general = velmora::GeneralText(2.5, 6);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(fixed, "2.50");
  EXPECT_EQ(general, "2.5");
}

}  // namespace
