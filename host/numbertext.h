// Numbers as text for the host's reports, messages and drawings: written and read in the C locale
// whatever locale the process has set, with the platform layer's formatter and reader.
#pragma once

#include <string>

namespace qelhost {

// `digits` significant digits, as %g writes them.
std::string formatNumber(double v, int digits = 10);
// Fixed point with `decimals` decimals, as %f writes them.
std::string formatFixed(double v, int decimals);
// The value of decimal number text with '.' as the separator; 0 when the text holds no number.
double readNumber(const std::string& text);

} // namespace qelhost
