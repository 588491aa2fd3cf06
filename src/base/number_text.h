#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace orbelune {

// Numbers as text, in one place and independent of the process locale: the
// sheet's fields, the store's text values and the command-line flags all read
// and write them here.

// The number with `digits` decimals ("%.*f"), with a decimal point whatever
// the process locale.
std::string formatFixed(double v, int digits);
// "%.2f", the sheet's and the status line's form.
inline std::string format2f(double v) { return formatFixed(v, 2); }
// The shortest text that reads back as the same double ("20", "0.1", "1e+300"):
// how the help, the XML and the man page write bounds and defaults.
std::string formatShortest(double v);
// The same, keeping a decimal point or exponent so the text reads back as a
// real ("20.0"): how the store's text form writes reals.
std::string formatReal(double v);

// A decimal number at the start of a text: one optional sign, digits with an
// optional decimal point, an optional exponent. No "inf", "nan" or hexadecimal.
struct ScannedNumber {
  enum class Outcome { Number, NotANumber, OutOfRange } status = Outcome::NotANumber;
  double value = 0.0;      // Number only
  std::size_t length = 0;  // the characters the number takes, when there is one
};
ScannedNumber scanNumber(std::string_view text);

// The number a text begins with (after white space), or nullopt when it does
// not begin with a finite number. A field's text reads as this number or 0.
std::optional<double> leadingNumber(std::string_view text);

// The number a sheet's field stands for as it is typed: the number its text
// begins with (after white space), a comma read as the decimal point in any
// locale (these fields have no thousands separators); a number too large for a
// double is infinity of its sign, so that bounding it gives the nearer bound,
// and one too small is 0. A text that begins with no number reads as 0.
double fieldNumber(std::string_view text);

// Why a whole text is no finite number.
enum class NumberProblem { NotANumber, OutOfRange };
// The reason as the command line words it after the text: "is not a number",
// "is out of range".
const char* describe(NumberProblem problem);

// The whole text as a finite number, or why it is none.
Result<double, NumberProblem> parseNumber(std::string_view text);
// The whole text as a whole number in decimal, or nullopt.
std::optional<long long> parseInteger(std::string_view text);

}  // namespace orbelune
