#include "host/numbertext.h"

#include "platform/strings.h"

namespace qelhost {

namespace {

std::string formatted(const char* format, int precision, double v)
{
    const int n = Platform::formatC(nullptr, 0, format, precision, v);
    if (n <= 0)
        return {};
    std::string text(static_cast<std::size_t>(n), '\0');
    Platform::formatC(text.data(), text.size() + 1, format, precision, v);
    return text;
}

} // namespace

std::string formatNumber(double v, int digits)
{
    return formatted("%.*g", digits, v);
}

std::string formatFixed(double v, int decimals)
{
    return formatted("%.*f", decimals, v);
}

double readNumber(const std::string& text)
{
    const std::size_t start = text.find_first_not_of(" \t\n\r");
    double v = 0.0;
    if (start != std::string::npos)
        Platform::readDecimal(text.data() + start, text.size() - start, v);
    return v;
}

} // namespace qelhost
