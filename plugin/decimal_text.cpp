// A double is m x 2^e with integer m, so its decimal expansion is finite: the
// integer part is written whole, the fraction digit by digit, each digit
// being the bits that multiplying the fraction by ten pushes past the binary
// point. The text is rounded once, on exact digits, so no double rounding
// can creep in.
#include "plugin/decimal_text.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace velmora {
namespace {

// An unsigned integer wide enough for a double's integer part (below 2^1024)
// and for a fraction's numerator (below 2^1074) times ten.
class BigNumber {
 public:
  void Set(std::uint64_t value, int shift) {
    std::memset(limbs_, 0, sizeof limbs_);
    int limb = shift / 32, bit = shift % 32;
    limbs_[limb] = static_cast<std::uint32_t>(value << bit);
    limbs_[limb + 1] = static_cast<std::uint32_t>(value >> (32 - bit));
    limbs_[limb + 2] = bit == 0 ? 0 : static_cast<std::uint32_t>(value >> (64 - bit));
    count_ = limb + 3;
    Trim();
  }

  bool IsZero() const { return count_ == 0; }

  std::uint32_t DivideSmall(std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (int i = count_ - 1; i >= 0; --i) {
      std::uint64_t current = (remainder << 32) | limbs_[i];
      limbs_[i] = static_cast<std::uint32_t>(current / divisor);
      remainder = current % divisor;
    }
    Trim();
    return static_cast<std::uint32_t>(remainder);
  }

  // Multiplies by ten and removes what reaches bit `point` and above: the
  // next decimal digit of this numerator over 2^point.
  int TakeDigit(int point) {
    std::uint64_t carry = 0;
    for (int i = 0; i < count_; ++i) {
      carry += static_cast<std::uint64_t>(limbs_[i]) * 10;
      limbs_[i] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    if (carry != 0) limbs_[count_++] = static_cast<std::uint32_t>(carry);
    int limb = point / 32, bit = point % 32;
    std::uint64_t top = (static_cast<std::uint64_t>(limbs_[limb + 1]) << 32) | limbs_[limb];
    limbs_[limb] &= (std::uint32_t{1} << bit) - 1;
    limbs_[limb + 1] = 0;
    Trim();
    return static_cast<int>(top >> bit);
  }

 private:
  void Trim() {
    while (count_ > 0 && limbs_[count_ - 1] == 0)
      --count_;
  }

  // Limbs at and above count_ are always zero.
  std::uint32_t limbs_[37];
  int count_ = 0;
};

// Decimal digits without a point or sign: the text being rounded.
struct DigitRow {
  // 309 integer digits and 52 fraction digits, or 1074 fraction digits
  // alone, and a carry.
  char text[1080];
  int count = 0;
  void Push(int digit) { text[count++] = static_cast<char>('0' + digit); }
};

// The exact decimal digits of a finite, non-negative double.
class DecimalDigits {
 public:
  // Appends the integer part to `row`, no digit when it is zero.
  DecimalDigits(double magnitude, DigitRow& row) {
    std::uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    int biased = static_cast<int>(bits >> 52);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased != 0) mantissa |= std::uint64_t{1} << 52;
    int exponent = biased == 0 ? -1074 : biased - 1075;
    if (mantissa == 0) return;
    while ((mantissa & 1) == 0) {
      mantissa >>= 1;
      ++exponent;
    }
    if (exponent >= 0) {
      WriteInteger(mantissa, exponent, row);
    } else if (-exponent <= kSmallPoint) {
      point_ = -exponent;
      WriteInteger(mantissa >> point_, 0, row);
      smallFraction_ = mantissa & ((std::uint64_t{1} << point_) - 1);
    } else {
      // Past 2^-60 the mantissa (below 2^53) is all fraction.
      point_ = -exponent;
      wide_ = true;
      wideFraction_.Set(mantissa, 0);
    }
  }

  // The fraction's odd numerator over 2^n has exactly n decimal digits.
  int FractionDigits() const { return point_; }

  // Zero once the fraction is used up.
  int NextFractionDigit() {
    if (wide_) return wideFraction_.TakeDigit(point_);
    if (point_ == 0) return 0;
    smallFraction_ *= 10;
    int digit = static_cast<int>(smallFraction_ >> point_);
    smallFraction_ &= (std::uint64_t{1} << point_) - 1;
    return digit;
  }

  bool FractionLeft() const { return wide_ ? !wideFraction_.IsZero() : smallFraction_ != 0; }

 private:
  // Up to this many fraction bits, ten times the fraction fits in 64 bits.
  static constexpr int kSmallPoint = 60;

  static void WriteInteger(std::uint64_t mantissa, int shift, DigitRow& row) {
    char reversed[320];
    int n = 0;
    if (shift <= 10) {
      for (std::uint64_t v = mantissa << shift; v != 0; v /= 10)
        reversed[n++] = static_cast<char>('0' + v % 10);
    } else {
      BigNumber value;
      value.Set(mantissa, shift);
      while (!value.IsZero()) {
        std::uint32_t group = value.DivideSmall(1000000000);
        for (int i = 0; i < 9; ++i, group /= 10)
          reversed[n++] = static_cast<char>('0' + group % 10);
      }
      while (n > 0 && reversed[n - 1] == '0')
        --n;
    }
    while (n > 0)
      row.text[row.count++] = reversed[--n];
  }

  int point_ = 0;  // the fraction is a numerator over 2^point_
  bool wide_ = false;
  std::uint64_t smallFraction_ = 0;
  BigNumber wideFraction_;
};

// Cuts `row` to its first `keep` digits, rounding half to even on the exact
// digits dropped: those past `keep` in the row, then what `source` still
// holds. True when the carry ran out of the front and added a leading "1".
bool RoundRow(DigitRow& row, int keep, DecimalDigits& source) {
  int dropped;
  bool moreDropped = source.FractionLeft();
  if (row.count > keep) {
    dropped = row.text[keep] - '0';
    for (int i = keep + 1; i < row.count; ++i)
      moreDropped = moreDropped || row.text[i] != '0';
    row.count = keep;
  } else {
    dropped = source.NextFractionDigit();
    moreDropped = source.FractionLeft();
  }
  bool lastOdd = keep > 0 && (row.text[keep - 1] - '0') % 2 != 0;
  if (dropped < 5 || (dropped == 5 && !moreDropped && !lastOdd)) return false;
  for (int i = keep - 1; i >= 0; --i) {
    if (row.text[i] != '9') {
      ++row.text[i];
      return false;
    }
    row.text[i] = '0';
  }
  std::memmove(row.text + 1, row.text, static_cast<std::size_t>(keep));
  row.text[0] = '1';
  ++row.count;
  return true;
}

// The sign, then "nan" or "inf" where the value has no digits; false for a
// finite value.
bool StartText(double value, std::string& text) {
  if (std::signbit(value)) text.push_back('-');
  if (std::isnan(value)) text += "nan";
  if (std::isinf(value)) text += "inf";
  return !std::isfinite(value);
}

// Shortens the row to its first `count` significant digits, rounded; returns
// the power of ten of the first.
int RoundToSignificant(double magnitude, int count, DigitRow& row) {
  DecimalDigits source(magnitude, row);
  int exponent = row.count - 1;
  if (row.count == 0) {
    int digit;
    while ((digit = source.NextFractionDigit()) == 0)
      --exponent;
    row.Push(digit);
  }
  // Past the exact digits only zeros follow, which the text drops anyway.
  while (row.count < count && source.FractionLeft())
    row.Push(source.NextFractionDigit());
  int keep = row.count < count ? row.count : count;
  if (RoundRow(row, keep, source)) {
    --row.count;
    ++exponent;
  }
  return exponent;
}

}  // namespace

std::string FixedText(double value, int decimals) {
  std::string text;
  if (StartText(value, text)) return text;
  if (decimals < 0) decimals = 6;
  DigitRow row;
  DecimalDigits source(std::fabs(value), row);
  int integerDigits = row.count;
  int exact = decimals < source.FractionDigits() ? decimals : source.FractionDigits();
  for (int i = 0; i < exact; ++i)
    row.Push(source.NextFractionDigit());
  if (RoundRow(row, row.count, source)) ++integerDigits;
  if (integerDigits == 0) text.push_back('0');
  text.append(row.text, static_cast<std::size_t>(integerDigits));
  if (decimals == 0) return text;
  text.push_back('.');
  text.append(row.text + integerDigits, static_cast<std::size_t>(row.count - integerDigits));
  text.append(static_cast<std::size_t>(decimals - exact), '0');
  return text;
}

std::string GeneralText(double value, int significant) {
  std::string text;
  if (StartText(value, text)) return text;
  if (value == 0.0) return text + "0";
  if (significant < 0) significant = 6;
  if (significant == 0) significant = 1;
  DigitRow row;
  int exponent = RoundToSignificant(std::fabs(value), significant, row);
  bool fixed = exponent >= -4 && exponent < significant;
  int integerDigits = fixed && exponent >= 0 ? exponent + 1 : 1;
  while (row.count > integerDigits && row.text[row.count - 1] == '0')
    --row.count;
  if (fixed && exponent < 0) {
    text += "0.";
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text.append(row.text, static_cast<std::size_t>(row.count));
    return text;
  }
  text.append(row.text, static_cast<std::size_t>(integerDigits));
  if (row.count > integerDigits) {
    text.push_back('.');
    text.append(row.text + integerDigits, static_cast<std::size_t>(row.count - integerDigits));
  }
  if (fixed) return text;
  text += exponent < 0 ? "e-" : "e+";
  int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude < 10) text.push_back('0');
  text += std::to_string(magnitude);
  return text;
}

}  // namespace velmora
