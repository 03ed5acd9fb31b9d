// Decimal text of a double, as printf's "%.*f" and "%.*g" write it in the C
// locale, with exact rounding of the binary value (an exact tie goes to the
// even digit). Written here instead of taken from the runtime: the standard
// library's formatter brings about 150 KB of tables into the module, and the
// C runtime's follows a locale that the host may change.
#pragma once

#include <string>

namespace velmora {

// "%.*f": "." as the decimal point, no grouping, negative zero keeps its sign.
// A negative count of decimals means 6, as for printf.
std::string FixedText(double value, int decimals);

// "%.*g": the shorter of fixed and exponent notation for that many
// significant digits, trailing zeros dropped, at least two exponent digits.
// A negative count means 6, and 0 means 1, as for printf.
std::string GeneralText(double value, int significant);

}  // namespace velmora
