#pragma once
#include <string>

namespace orbelune {

// "%.2f" with a decimal point whatever the process locale.
std::string format2f(double v);

// The number a text begins with (after white space): sign, digits, a decimal
// point, an exponent. Anything else, and anything not finite ("nan", "inf",
// "1e999"), is 0.
double leadingNumber(const std::string& text);

}  // namespace orbelune
