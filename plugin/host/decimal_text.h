// Numbers as text, both ways, with "." as the decimal point whatever locale
// the host's process is in. The C runtime's conversions are exact, but they
// take the decimal point from the process's current locale, which anything
// else in the process (another plug-in, a script engine) may switch to one
// with a decimal comma: the host would then be sent "36,000" and every item
// text "0.00" would stop reading as zero.
//
// Why this is ours: the standard library's conversions that ignore the
// locale, std::to_chars and std::from_chars (<charconv>), would bring about
// 150 KB of tables into a module of about 270 KB that must stay below
// 300 KB. The C runtime's own conversions, linked anyway, are exact; only the
// decimal point is kept away from them. The tests hold both directions to
// <charconv>.
#pragma once

#include <string>

namespace velmora {

// "%.*f": no grouping, negative zero keeps its sign. A negative count of
// decimals means 6, as for printf.
std::string FixedText(double value, int decimals);

// "%.*g": the shorter of fixed and exponent notation for that many
// significant digits, trailing zeros dropped, at least two exponent digits.
// A negative count means 6, and 0 means 1, as for printf.
std::string GeneralText(double value, int significant);

// What strtod reads at the start of `text` in the "C" locale: blanks, a sign,
// then a decimal or hexadecimal number, an infinity or a NaN; 0 when the text
// does not begin with one. `*end` is set past what was read (to `text` when
// nothing was).
double DecimalValue(const char* text, const char** end);

}  // namespace velmora
