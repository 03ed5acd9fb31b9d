// Both directions go through the C runtime, which is exact; only the decimal
// point is kept away from it. A formatted text has its decimal point, however
// the locale wrote it, replaced by "."; a text to read is handed over without
// one, its exponent saying where the point stood ("2.5" is read as "25e-1"),
// so that no locale can read the point differently.
#include "plugin/host/decimal_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace velmora {
namespace {

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Blanks as the "C" locale has them.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Printed by the runtime; whatever the locale put between the integer digits
// and the fraction becomes ".".
std::string Printed(const char* format, int precision, double value) {
  // printf drops the sign of a negative NaN.
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const int length = std::snprintf(nullptr, 0, format, precision, value);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, precision, value);

  std::size_t point = text[0] == '-' ? 1 : 0;
  while (point < text.size() && IsDecimalDigit(text[point]))
    ++point;
  if (point == text.size() || text[point] == 'e') return text;
  std::size_t fraction = point;
  while (fraction < text.size() && !IsDecimalDigit(text[fraction]))
    ++fraction;
  text[point] = '.';
  text.erase(point + 1, fraction - point - 1);
  return text;
}

// The digits of a number's exponent, saturated far beyond any double's range.
std::int64_t ExponentValue(const char*& at) {
  const bool negative = *at == '-';
  if (*at == '+' || *at == '-') ++at;
  std::int64_t value = 0;
  for (; IsDecimalDigit(*at); ++at)
    value = value < 1000000000 ? value * 10 + (*at - '0') : value;
  return negative ? -value : value;
}

// The exponent part after a mantissa, when there is one: "e" (or "p" for a
// hexadecimal mantissa), an optional sign and at least one digit.
std::int64_t OptionalExponent(const char*& at, bool hex) {
  const char mark = hex ? 'p' : 'e';
  if ((*at | 0x20) != mark) return 0;
  const char* digits = at + 1;
  if (*digits == '+' || *digits == '-') ++digits;
  if (!IsDecimalDigit(*digits)) return 0;
  ++at;
  return ExponentValue(at);
}

// A number as strtod's grammar splits it.
struct NumberParts {
  bool negative = false;
  bool hex = false;
  std::string_view whole;     // digits before the point
  std::string_view fraction;  // digits after it
  std::int64_t exponent = 0;  // as written; a power of two for hex
  const char* end = nullptr;  // past the number; null when there is none
};

NumberParts SplitNumber(const char* text) {
  NumberParts n;
  const char* at = text;
  while (IsBlank(*at))
    ++at;
  n.negative = *at == '-';
  if (*at == '+' || *at == '-') ++at;
  n.hex = at[0] == '0' && (at[1] | 0x20) == 'x' &&
          (IsHexDigit(at[2]) || (at[2] == '.' && IsHexDigit(at[3])));
  if (n.hex) at += 2;
  const auto isDigit = n.hex ? IsHexDigit : IsDecimalDigit;
  const char* first = at;
  while (isDigit(*at))
    ++at;
  n.whole = std::string_view(first, static_cast<std::size_t>(at - first));
  if (*at == '.' && (!n.whole.empty() || isDigit(at[1]))) {
    first = ++at;
    while (isDigit(*at))
      ++at;
    n.fraction = std::string_view(first, static_cast<std::size_t>(at - first));
  }
  if (n.whole.empty() && n.fraction.empty()) return n;
  n.exponent = OptionalExponent(at, n.hex);
  n.end = at;
  return n;
}

// Decimal numbers whose digits and power of ten are both exact doubles: one
// rounding, the division's or product's, gives what strtod gives, without
// building a text. Most texts the survey reads ("0.00", "100.00") are such.
bool ExactValue(const NumberParts& n, double& value) {
  constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr std::int64_t kLargestPower = 22;
  constexpr std::size_t kExactDigits = 15;  // below 2^53
  if (n.hex || n.whole.size() + n.fraction.size() > kExactDigits) return false;
  const std::int64_t power = n.exponent - static_cast<std::int64_t>(n.fraction.size());
  if (power < -kLargestPower || power > kLargestPower) return false;
  std::uint64_t digits = 0;
  for (std::string_view part : {n.whole, n.fraction}) {
    for (char c : part)
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
  }
  const auto mantissa = static_cast<double>(digits);
  value = power < 0 ? mantissa / kPowersOfTen[-power] : mantissa * kPowersOfTen[power];
  if (n.negative) value = -value;
  return true;
}

// Any other number, through strtod, written without its point: "2.5" as
// "25e-1". Past the digits that can matter to a double's rounding only
// whether any of the rest is non-zero counts, so that the exponent stays
// small enough for strtod however long the text.
double RuntimeValue(const NumberParts& n) {
  const std::size_t keep = n.hex ? 300 : 800;
  std::string text = n.negative ? "-" : "";
  if (n.hex) text += "0x";
  std::int64_t dropped = 0;
  bool leading = true, sticky = false;
  for (std::string_view part : {n.whole, n.fraction}) {
    for (char c : part) {
      if (leading && c == '0') continue;
      leading = false;
      if (text.size() < keep) {
        text.push_back(c);
      } else {
        ++dropped;
        sticky = sticky || c != '0';
      }
    }
  }
  if (leading) text.push_back('0');
  if (sticky) {
    text.push_back('1');
    --dropped;
  }
  const std::int64_t digitShift = dropped - static_cast<std::int64_t>(n.fraction.size());
  text.push_back(n.hex ? 'p' : 'e');
  // A hexadecimal digit is four bits of the binary exponent.
  text += std::to_string(n.exponent + digitShift * (n.hex ? 4 : 1));
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace

std::string FixedText(double value, int decimals) { return Printed("%.*f", decimals, value); }

std::string GeneralText(double value, int significant) {
  return Printed("%.*g", significant, value);
}

double DecimalValue(const char* text, const char** end) {
  const NumberParts n = SplitNumber(text);
  if (n.end != nullptr) {
    *end = n.end;
    double value = 0.0;
    return ExactValue(n, value) ? value : RuntimeValue(n);
  }
  // No digits: an infinity or a NaN, which have no point to misread, or no
  // number at all.
  *end = text;
  const char* at = text;
  while (IsBlank(*at) || *at == '+' || *at == '-')
    ++at;
  const char letter = static_cast<char>(*at | 0x20);
  if (letter != 'i' && letter != 'n') return 0.0;
  char* stop = nullptr;
  const double value = std::strtod(text, &stop);
  *end = stop;
  return value;
}

}  // namespace velmora
