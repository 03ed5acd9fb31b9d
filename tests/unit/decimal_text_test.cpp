// The decimal texts against the standard library's exact formatter, which the
// module does not link (about 150 KB of tables), over doubles drawn to reach
// exact ties, carries through every digit, huge integers, long fractions and
// subnormals.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "plugin/host/decimal_text.h"
#include "tests/support/scoped_locale.h"

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

// Another component of the host's process may switch the locale to one with
// a decimal comma: the texts must not follow it, either way.
TEST(DecimalText, KeepsTheFullStopUnderADecimalCommaLocale) {
  std::vector<std::string> texts = {"2.5",    " \t-0.5e1x",
                                    "5.",     ".5",
                                    ".",      "1e",
                                    "1e+",    "0x1.8p1",
                                    "0X.8",   "0x",
                                    "0x.p1",  "+inf",
                                    "-nan",   "1,5",
                                    ",5",     "- 1",
                                    "1e-400", "1e309",
                                    "-0.00",  "100.00",
                                    "",       "123456789012345678901.5e-20"};
  // Past the digits a double can tell apart, and longer than any exponent
  // the runtime reads.
  texts.push_back("99." + std::string(20000, '9'));
  texts.push_back("0x1." + std::string(20000, 'f') + "p-2");
  texts.push_back("0." + std::string(900, '0') + "1" + std::string(900, '5') + "e901");
  std::vector<double> values;
  std::vector<std::ptrdiff_t> read;  // characters consumed
  for (const std::string& text : texts) {
    char* end = nullptr;
    values.push_back(std::strtod(text.c_str(), &end));
    read.push_back(end - text.c_str());
  }
  testsupport::ScopedLocale comma(testsupport::kDecimalCommaLocale);
  ASSERT_TRUE(comma.Switched());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const char* text = texts[i].c_str();
    const char* end = nullptr;
    const double value = velmora::DecimalValue(text, &end);
    const std::string shown = texts[i].substr(0, 40);
    EXPECT_EQ(end - text, read[i]) << '"' << shown << '"';
    EXPECT_TRUE(value == values[i] || (std::isnan(value) && std::isnan(values[i])))
        << '"' << shown << "\" read " << value << " instead of " << values[i];
  }
  for (double value : {2.5, -0.125, 1234567.0, 9.999995e-5, 1e22})
    ASSERT_NO_FATAL_FAILURE(ExpectSameTexts(value, 3, 6));
}

}  // namespace
