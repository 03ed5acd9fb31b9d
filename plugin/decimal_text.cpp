// Both directions go through the C runtime, which is exact; only the decimal
// point is kept away from it. A formatted text has its decimal point, however
// the locale wrote it, replaced by "."; a text to read is handed over without
// one, its exponent saying where the point stood ("2.5" is read as "25e-1"),
// so that no locale can read the point differently.
#include "plugin/decimal_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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

}  // namespace

std::string FixedText(double value, int decimals) { return Printed("%.*f", decimals, value); }

std::string GeneralText(double value, int significant) {
  return Printed("%.*g", significant, value);
}

double DecimalValue(const char* text, const char** end) {
  const char* at = text;
  while (IsBlank(*at))
    ++at;
  std::string plain;  // the mantissa's sign and digits, without its point
  if (*at == '+' || *at == '-') plain.push_back(*at++);
  const bool hex = at[0] == '0' && (at[1] | 0x20) == 'x' &&
                   (IsHexDigit(at[2]) || (at[2] == '.' && IsHexDigit(at[3])));
  if (hex) {
    plain += "0x";
    at += 2;
  }
  const auto isDigit = hex ? IsHexDigit : IsDecimalDigit;
  const std::size_t before = plain.size();
  for (; isDigit(*at); ++at)
    plain.push_back(*at);
  std::int64_t fractionDigits = 0;
  if (*at == '.' && (plain.size() > before || isDigit(at[1]))) {
    for (++at; isDigit(*at); ++at, ++fractionDigits)
      plain.push_back(*at);
  }
  if (plain.size() == before) {
    // No digits: an infinity or a NaN, which have no point to misread, or
    // no number at all.
    *end = text;
    const char letter = static_cast<char>(*at | 0x20);
    if (letter != 'i' && letter != 'n') return 0.0;
    char* stop = nullptr;
    const double value = std::strtod(text, &stop);
    *end = stop;
    return value;
  }
  // A hexadecimal digit is four bits of the binary exponent.
  const std::int64_t shift = OptionalExponent(at, hex) - fractionDigits * (hex ? 4 : 1);
  plain.push_back(hex ? 'p' : 'e');
  plain += std::to_string(shift);
  *end = at;
  return std::strtod(plain.c_str(), nullptr);
}

}  // namespace velmora
